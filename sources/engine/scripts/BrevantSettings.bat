@echo off
rem The settings that StartBrevant.bat and StopBrevant.bat share, read by both so that the
rem instance and its stop client always agree. Edit them here, or set them in the
rem environment, before the first start.
if "%BREVANT_PORT%"=="" set BREVANT_PORT=8888
if "%BREVANT_ADMIN_PORT%"=="" set BREVANT_ADMIN_PORT=8889
if "%BREVANT_ADMIN_USER%"=="" set BREVANT_ADMIN_USER=admin
if "%BREVANT_ADMIN_PASSWORD%"=="" set BREVANT_ADMIN_PASSWORD=brevant
rem The home is the folder above the bin folder unless BREVANT_HOME says otherwise.
if "%BREVANT_HOME%"=="" set BREVANT_HOME=%~dp0..
set BREVANT_JAR=%BREVANT_HOME%\lib\Brevant30.jar
rem The web applications of the data folder's webapps\, when it has one, run in Tomcat 10.1.
rem TOMCAT_LIB is the lib folder of the Apache Tomcat 10.1 binary distribution; the jars the
rem container needs go on the class path (tomcat-juli.jar from its bin folder, or copied beside
rem the others). See docs/applications.md.
if "%BREVANT_DATA%"=="" set BREVANT_DATA=%BREVANT_HOME%\Brevant Data
if "%TOMCAT_LIB%"=="" set TOMCAT_LIB=%BREVANT_HOME%\tomcat\lib
set BREVANT_CLASSPATH=%BREVANT_JAR%
for %%j in (catalina tomcat-coyote tomcat-util tomcat-util-scan tomcat-api servlet-api jsp-api el-api jasper jasper-el jaspic-api annotations-api tomcat-juli) do call set BREVANT_CLASSPATH=%%BREVANT_CLASSPATH%%;%TOMCAT_LIB%\%%j.jar
set BREVANT_CLASSPATH=%BREVANT_CLASSPATH%;%TOMCAT_LIB%\..\bin\tomcat-juli.jar
for /f "delims=" %%j in ('dir /b "%TOMCAT_LIB%\ecj-*.jar" 2^>nul') do call set BREVANT_CLASSPATH=%%BREVANT_CLASSPATH%%;%TOMCAT_LIB%\%%j
set JAVA=java
if not "%JAVA_HOME%"=="" set JAVA=%JAVA_HOME%\bin\java
