@echo off
echo Corvid compiler 3.6.0_09-b11
