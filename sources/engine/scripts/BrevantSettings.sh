#!/bin/sh
# The settings that StartBrevant.sh and StopBrevant.sh share, read by both so that the
# instance and its stop client always agree. Edit them here, or set them in the environment,
# before the first start.
BREVANT_PORT="${BREVANT_PORT:-8888}"
BREVANT_ADMIN_PORT="${BREVANT_ADMIN_PORT:-8889}"
BREVANT_ADMIN_USER="${BREVANT_ADMIN_USER:-admin}"
BREVANT_ADMIN_PASSWORD="${BREVANT_ADMIN_PASSWORD:-brevant}"

# The home is the folder above the bin folder unless BREVANT_HOME says otherwise.
BREVANT_HOME="${BREVANT_HOME:-$(cd "$(dirname "$0")/.." && pwd)}"
BREVANT_JAR="$BREVANT_HOME/lib/Brevant30.jar"
# A build tree keeps the jar in java/ rather than lib/; accept it so the built scripts run as they are.
[ -f "$BREVANT_JAR" ] || BREVANT_JAR="$BREVANT_HOME/java/Brevant30.jar"
# The web applications of the data folder's webapps/, when it has one, run in Tomcat 10.1, whose
# jars BrevantTomcat.jar names (Debian's libtomcat10-java, in /usr/share/java), beside Brevant30.jar.
BREVANT_DATA="${BREVANT_DATA:-$BREVANT_HOME/Brevant Data}"
BREVANT_CLASSPATH="$BREVANT_JAR:$(dirname "$BREVANT_JAR")/BrevantTomcat.jar"
if [ -n "$JAVA_HOME" ]; then JAVA="$JAVA_HOME/bin/java"; else JAVA=java; fi
