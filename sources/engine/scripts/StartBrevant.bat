@echo off
rem Runs one application-server instance from an install home; StopBrevant.bat stops it
rem through the admin port. The ports and the admin user are in BrevantSettings.bat.
setlocal
call "%~dp0BrevantSettings.bat"
if not exist "%BREVANT_JAR%" (
    echo StartBrevant: no Brevant30.jar in %BREVANT_HOME%\lib 1>&2
    exit /b 1
)
set WEBAPPS=
if exist "%BREVANT_DATA%\webapps\" set WEBAPPS=--webapps "%BREVANT_DATA%\webapps"
"%JAVA%" -cp "%BREVANT_CLASSPATH%" com.orlena.tessel.brevant.server.AppServer --port %BREVANT_PORT% --admin-port %BREVANT_ADMIN_PORT% --admin-user "%BREVANT_ADMIN_USER%" --admin-password "%BREVANT_ADMIN_PASSWORD%" %WEBAPPS% %*
exit /b %ERRORLEVEL%
