// Ends the application through its normal quit path when the terminal or the session asks it to
// stop (SIGINT, SIGTERM, SIGHUP), so the termination steps still run: above all, telling the
// helper to close. Signal handlers may only write to a pipe; the event loop does the rest.
#pragma once

class QCoreApplication;

// Installs the handlers; call once, after the application object exists. false when the pipe or
// a handler could not be set up (the default behaviour then stays).
bool quitOnTerminationSignals(QCoreApplication& app);
