@echo off
rem Builds the library folder of the sample package and logs the
rem installer title of this moment through logtitle.exe, which the
rem package unpacked for this batch file alone.
logtitle.exe makelibs.bat
if not exist lib mkdir lib
echo Sample library index, built by makelibs.bat> lib\index.txt
echo varnok-core 8.0 (sample stand-in)> lib\versions.txt
del logtitle.exe
