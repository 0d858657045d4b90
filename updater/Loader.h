// The program body of loader: start-up checks, then the main form and the message loop.
#pragma once

// Runs the updater with the process's arguments and returns the exit code.
int RunLoader(int argc, char** argv);
