#!/bin/sh
# Stops the instance that StartBrevant.sh runs, through its admin port. The exit code is the stop
# client's (0 stopped; -1 .. -9 failures, seen by the shell as 255 .. 247), so callers can tell
# why a stop failed. The settings must match StartBrevant.sh's.
BREVANT_ADMIN_PORT="${BREVANT_ADMIN_PORT:-8889}"
BREVANT_ADMIN_USER="${BREVANT_ADMIN_USER:-admin}"
BREVANT_ADMIN_PASSWORD="${BREVANT_ADMIN_PASSWORD:-brevant}"

BREVANT_HOME="${BREVANT_HOME:-$(cd "$(dirname "$0")/.." && pwd)}"
BREVANT_JAR="$BREVANT_HOME/lib/Brevant30.jar"
# A build tree keeps the jar in java/ rather than lib/; accept it so the built scripts run as they are.
[ -f "$BREVANT_JAR" ] || BREVANT_JAR="$BREVANT_HOME/java/Brevant30.jar"
if [ ! -f "$BREVANT_JAR" ]; then
    echo "StopBrevant: no Brevant30.jar in $BREVANT_HOME/lib" >&2
    exit 249   # -7, the stop client's i/o error: nothing could be asked
fi
if [ -n "$JAVA_HOME" ]; then JAVA="$JAVA_HOME/bin/java"; else JAVA=java; fi

exec "$JAVA" -cp "$BREVANT_JAR" com.orlena.tessel.brevant.server.StopServer --port "$BREVANT_ADMIN_PORT" \
    --user "$BREVANT_ADMIN_USER" --password "$BREVANT_ADMIN_PASSWORD" "$@"
