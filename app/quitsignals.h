#pragma once

class QCoreApplication;

// Makes SIGTERM and SIGINT end the application's event loop with exit code 0, so that the
// window is destroyed and the worker stopped as on a normal close. A second signal of the same
// kind ends the process the default way; a signal ignored at start stays ignored. Does nothing
// where these signals do not apply (Windows).
// Returns false when the handlers could not be installed; the program then runs on without.
bool QuitOnTerminationSignals(QCoreApplication& application);
