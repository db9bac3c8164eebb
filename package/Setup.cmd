@echo off
rem Stand-in for the package's setup program.
rem   Setup.cmd install [folder]    copies the package into the folder, records it and installs
rem   Setup.cmd uninstall [folder]  uninstalls with the installer assistant and removes the folder
rem The folder defaults to "%ProgramFiles%\Calmora\Quenvora-K9 USB Audio". More switches for the
rem installer assistant (for example /R) can follow in SETUP_EXTRA.
rem Exit code: 0 when everything was done; the assistant's own code (its failure bits, 1 to 255)
rem when it ran and a step could not be done; 256 and above when this program stopped before the
rem assistant ran: 256 usage, 257 the assistant is missing, 258 the package could not be copied
rem (a program is using one of its files), 259 the package folder could not be recorded.
setlocal
set "PACKAGE_KEY=HKLM\Software\Calmora\Quenvora-K9 USB Audio Software Package"
set "TARGET=%~2"
if "%TARGET%"=="" set "TARGET=%ProgramFiles%\Calmora\Quenvora-K9 USB Audio"
set "HWID=USB\VID_1852&PID_7022&MI_01"
rem On 64-bit Windows the 64-bit assistant does the job: only a native process can install the
rem driver package and sees the native registry view and system folder. A 32-bit interpreter
rem there names the native processor in PROCESSOR_ARCHITEW6432.
set "ASSISTANT=QvK9InstAsst.exe"
if /i "%PROCESSOR_ARCHITECTURE%"=="AMD64" set "ASSISTANT=QvK9InstAsst64.exe"
if /i "%PROCESSOR_ARCHITEW6432%"=="AMD64" set "ASSISTANT=QvK9InstAsst64.exe"

if /i "%~1"=="install" goto install
if /i "%~1"=="uninstall" goto uninstall
echo usage: Setup.cmd install^|uninstall [folder]
exit /b 256

:install
if not exist "%~dp0%ASSISTANT%" (
    echo Setup: %ASSISTANT% is missing from the package; nothing was installed.
    exit /b 257
)
rem A driver loaded by a running ASIO host cannot be replaced: the old one would be registered
rem again as if it were the new one.
rem (The messages stand outside parenthesised blocks: a folder name may hold a parenthesis.)
xcopy /E /I /Y /Q "%~dp0*" "%TARGET%\" >nul
if errorlevel 1 goto copyFailed
rem The value ends with a backslash: the installer appends file names to it directly.
reg add "%PACKAGE_KEY%" /v QvK9audioCPLAppPath /t REG_SZ /d "%TARGET%\\" /f >nul
if errorlevel 1 goto recordFailed
start "" /wait "%TARGET%\%ASSISTANT%" "%HWID%",/S QvK9Install,/D "%TARGET%\Driver\QvK9USB.inf",/A,/O,/C%SETUP_EXTRA%
set "RESULT=%ERRORLEVEL%"
if not "%RESULT%"=="0" echo Setup: the installer assistant could not do every step ^(code %RESULT%^).
exit /b %RESULT%

:uninstall
if not exist "%TARGET%\%ASSISTANT%" goto notInstalled
start "" /wait "%TARGET%\%ASSISTANT%" /U,"%HWID%",/S QvK9Install,/A,/O%SETUP_EXTRA%
set "RESULT=%ERRORLEVEL%"
if not "%RESULT%"=="0" echo Setup: the installer assistant could not do every step ^(code %RESULT%^).
reg delete "%PACKAGE_KEY%" /f >nul 2>&1
rem The control panel ends on its own after the assistant's exit command; give it a moment
rem before the folder goes.
ping -n 3 127.0.0.1 >nul
rd /s /q "%TARGET%"
exit /b %RESULT%

:copyFailed
echo Setup: the package could not be copied into "%TARGET%": a program is using one of its files
echo (close every ASIO host and the control panel, then run the setup again). The driver that was
echo there before stays registered as it was.
exit /b 258

:recordFailed
echo Setup: the package folder could not be recorded in the registry; nothing was installed.
exit /b 259

:notInstalled
echo Setup: %ASSISTANT% is missing from "%TARGET%"; nothing was uninstalled.
exit /b 257
