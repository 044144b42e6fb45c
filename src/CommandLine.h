// What the program reads from its command line: only the debug switch.
#pragma once

// True when " -d" or " -D" occurs anywhere in the command line with one blank put before it,
// so the switch alone, or after a file name and a blank, counts; "x-d" does not.
bool HasDebugSwitch(const wchar_t* commandLine);
