#!/bin/sh
# Runs one application-server instance from an install home, in the foreground, so that a
# service manager (or the terminal) owns the process; StopBrevant.sh stops it through the admin port.
# Edit the settings below, or set them in the environment, before the first start.
BREVANT_PORT="${BREVANT_PORT:-8888}"
BREVANT_ADMIN_PORT="${BREVANT_ADMIN_PORT:-8889}"
BREVANT_ADMIN_USER="${BREVANT_ADMIN_USER:-admin}"
BREVANT_ADMIN_PASSWORD="${BREVANT_ADMIN_PASSWORD:-brevant}"

# The home is the folder above this script's bin folder unless BREVANT_HOME says otherwise.
BREVANT_HOME="${BREVANT_HOME:-$(cd "$(dirname "$0")/.." && pwd)}"
BREVANT_JAR="$BREVANT_HOME/lib/Brevant30.jar"
# A build tree keeps the jar in java/ rather than lib/; accept it so the built scripts run as they are.
[ -f "$BREVANT_JAR" ] || BREVANT_JAR="$BREVANT_HOME/java/Brevant30.jar"
if [ ! -f "$BREVANT_JAR" ]; then
    echo "StartBrevant: no Brevant30.jar in $BREVANT_HOME/lib" >&2
    exit 1
fi
if [ -n "$JAVA_HOME" ]; then JAVA="$JAVA_HOME/bin/java"; else JAVA=java; fi

# exec: the instance's exit code is the script's, and signals reach the VM directly.
exec "$JAVA" -cp "$BREVANT_JAR" com.orlena.tessel.brevant.server.AppServer --port "$BREVANT_PORT" \
    --admin-port "$BREVANT_ADMIN_PORT" --admin-user "$BREVANT_ADMIN_USER" \
    --admin-password "$BREVANT_ADMIN_PASSWORD" "$@"
