@echo off
rem Stops the instance that StartBrevant.bat runs, through its admin port. The exit code is
rem the stop client's (0 stopped, -1 .. -9 failures), which the NT service maps to its state.
setlocal
if "%BREVANT_ADMIN_PORT%"=="" set BREVANT_ADMIN_PORT=8889
if "%BREVANT_ADMIN_USER%"=="" set BREVANT_ADMIN_USER=admin
if "%BREVANT_ADMIN_PASSWORD%"=="" set BREVANT_ADMIN_PASSWORD=brevant
if "%BREVANT_HOME%"=="" set BREVANT_HOME=%~dp0..
set BREVANT_JAR=%BREVANT_HOME%\lib\Brevant30.jar
if not exist "%BREVANT_JAR%" (
    echo StopBrevant: no Brevant30.jar in %BREVANT_HOME%\lib 1>&2
    exit /b -7
)
set JAVA=java
if not "%JAVA_HOME%"=="" set JAVA=%JAVA_HOME%\bin\java
"%JAVA%" -cp "%BREVANT_JAR%" com.orlena.tessel.brevant.server.StopServer --port %BREVANT_ADMIN_PORT% --user "%BREVANT_ADMIN_USER%" --password "%BREVANT_ADMIN_PASSWORD%" %*
exit /b %ERRORLEVEL%
