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
set JAVA=java
if not "%JAVA_HOME%"=="" set JAVA=%JAVA_HOME%\bin\java
