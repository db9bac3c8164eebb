@echo off
rem Stand-in for the package's setup program.
rem   Setup.cmd install [folder]    copies the package into the folder, records it and installs
rem   Setup.cmd uninstall [folder]  uninstalls with the installer assistant and removes the folder
rem The folder defaults to "%ProgramFiles%\Calmora\Quenvora-K9 USB Audio". More switches for the
rem installer assistant (for example /R) can follow in SETUP_EXTRA.
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
exit /b 2

:install
if not exist "%~dp0%ASSISTANT%" (
    echo Setup: %ASSISTANT% is missing from the package; nothing was installed.
    exit /b 1
)
xcopy /E /I /Y /Q "%~dp0*" "%TARGET%\" >nul
rem The value ends with a backslash: the installer appends file names to it directly.
reg add "%PACKAGE_KEY%" /v QvK9audioCPLAppPath /t REG_SZ /d "%TARGET%\\" /f >nul
start "" /wait "%TARGET%\%ASSISTANT%" "%HWID%",/S QvK9Install,/D "%TARGET%\Driver\QvK9USB.inf",/A,/O,/C%SETUP_EXTRA%
exit /b 0

:uninstall
if not exist "%TARGET%\%ASSISTANT%" (
    echo Setup: %ASSISTANT% is missing from "%TARGET%"; nothing was uninstalled.
    exit /b 1
)
start "" /wait "%TARGET%\%ASSISTANT%" /U,"%HWID%",/S QvK9Install,/A,/O%SETUP_EXTRA%
reg delete "%PACKAGE_KEY%" /f >nul 2>&1
rem The installer's clean-up commands run on their own; give them a moment before the folder goes.
ping -n 3 127.0.0.1 >nul
rd /s /q "%TARGET%"
exit /b 0
