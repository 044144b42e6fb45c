// The process that draws an EMF job's pages: the program started again by itself with a
// switch of its own (CommandLine.h), so that a page that crashes or hangs the system's
// metafile player costs this process and one job, never the user's window.
#pragma once

#include "CommandLine.h"

// Reads the request from its pipe, draws, reports over the other pipe, and returns the exit
// code. It opens no log: its log lines travel to the program, which writes them.
int RunPageDrawingChild(const DrawingChildHandles& handles);
