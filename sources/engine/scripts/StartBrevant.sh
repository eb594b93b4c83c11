#!/bin/sh
# Runs one application-server instance from an install home, in the foreground, so that a
# service manager (or the terminal) owns the process; StopBrevant.sh stops it through the admin port.
# The ports and the admin user are in BrevantSettings.sh beside this script.
. "$(dirname "$0")/BrevantSettings.sh"
if [ ! -f "$BREVANT_JAR" ]; then
    echo "StartBrevant: no Brevant30.jar in $BREVANT_HOME/lib" >&2
    exit 1
fi

if [ -d "$BREVANT_DATA/webapps" ]; then
    set -- --webapps "$BREVANT_DATA/webapps" "$@"
fi

# exec: the instance's exit code is the script's, and signals reach the VM directly.
exec "$JAVA" -cp "$BREVANT_CLASSPATH" com.orlena.tessel.brevant.server.AppServer --port "$BREVANT_PORT" \
    --admin-port "$BREVANT_ADMIN_PORT" --admin-user "$BREVANT_ADMIN_USER" \
    --admin-password "$BREVANT_ADMIN_PASSWORD" "$@"
