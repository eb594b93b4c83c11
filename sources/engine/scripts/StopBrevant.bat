@echo off
rem Stops the instance that StartBrevant.bat runs, through its admin port. The exit code is
rem the stop client's (0 stopped, -1 .. -9 failures), which the NT service maps to its state.
setlocal
call "%~dp0BrevantSettings.bat"
if not exist "%BREVANT_JAR%" (
    echo StopBrevant: no Brevant30.jar in %BREVANT_HOME%\lib 1>&2
    exit /b -7
)
"%JAVA%" -cp "%BREVANT_JAR%" com.orlena.tessel.brevant.server.StopServer --port %BREVANT_ADMIN_PORT% --user "%BREVANT_ADMIN_USER%" --password "%BREVANT_ADMIN_PASSWORD%" %*
exit /b %ERRORLEVEL%
