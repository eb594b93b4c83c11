@echo off
rem Runs one application-server instance from an install home; StopBrevant.bat stops it
rem through the admin port. Edit the settings below before the first start.
setlocal
if "%BREVANT_PORT%"=="" set BREVANT_PORT=8888
if "%BREVANT_ADMIN_PORT%"=="" set BREVANT_ADMIN_PORT=8889
if "%BREVANT_ADMIN_USER%"=="" set BREVANT_ADMIN_USER=admin
if "%BREVANT_ADMIN_PASSWORD%"=="" set BREVANT_ADMIN_PASSWORD=brevant
rem The home is the folder above this file's bin folder unless BREVANT_HOME says otherwise.
if "%BREVANT_HOME%"=="" set BREVANT_HOME=%~dp0..
set BREVANT_JAR=%BREVANT_HOME%\lib\Brevant30.jar
if not exist "%BREVANT_JAR%" (
    echo StartBrevant: no Brevant30.jar in %BREVANT_HOME%\lib 1>&2
    exit /b 1
)
set JAVA=java
if not "%JAVA_HOME%"=="" set JAVA=%JAVA_HOME%\bin\java
"%JAVA%" -cp "%BREVANT_JAR%" com.orlena.tessel.brevant.server.AppServer --port %BREVANT_PORT% --admin-port %BREVANT_ADMIN_PORT% --admin-user "%BREVANT_ADMIN_USER%" --admin-password "%BREVANT_ADMIN_PASSWORD%" %*
exit /b %ERRORLEVEL%
