#!/bin/sh
# Stops the instance that StartBrevant.sh runs, through its admin port. The exit code is the stop
# client's (0 stopped; -1 .. -9 failures, seen by the shell as 255 .. 247), so callers can tell
# why a stop failed. Its settings are StartBrevant.sh's, from BrevantSettings.sh beside it.
. "$(dirname "$0")/BrevantSettings.sh"
if [ ! -f "$BREVANT_JAR" ]; then
    echo "StopBrevant: no Brevant30.jar in $BREVANT_HOME/lib" >&2
    exit 249   # -7, the stop client's i/o error: nothing could be asked
fi

exec "$JAVA" -cp "$BREVANT_JAR" com.orlena.tessel.brevant.server.StopServer --port "$BREVANT_ADMIN_PORT" \
    --user "$BREVANT_ADMIN_USER" --password "$BREVANT_ADMIN_PASSWORD" "$@"
