#ifndef STARTUP_H
#define STARTUP_H

class MainWindow;

// The start-up steps of main() that tests drive in-process.
namespace Startup {

// Exit code when the store cannot be made ready: a failure must not look
// like a normal end.
constexpr int StoreFailureExitCode = 1;

// Opens the store, brings its schema up to date and puts the setting row
// into the application object. The organisation and application names must
// be set first: they select the data directory.
// First it takes the data file's lock (kvdata.dat.lock beside it), held
// until the process ends: while another running copy of the program holds
// it, a box says so and nothing of the file is read or written.
// The snipes' writes that the data file refused when the program last
// ended are taken back first (SnipeStore::loadSaved()).
// Returns 0 when the store is ready; otherwise it has written one line on
// stderr naming what failed, has told the user in a box (the store's own box
// when the file cannot be opened, a "Database Error" naming the store's
// reason when the file cannot be used, "Already Running" naming the file
// when another copy runs on it) and returns StoreFailureExitCode.
int prepareStore();

// From here on SIGTERM, SIGINT and SIGHUP (the system shutting down, kill,
// Ctrl+C, a closed terminal) and the desktop session's end end the program
// as File > Exit does, rather than at once with the snipes' last writes
// unmade.
void endOnSignals();
// Lets go of the data file's lock as the end of the process does: for tests
// that start again in the same process.
void releaseDataFile();

// Synchronises the clock with eBay's time, waiting for the answer, and
// starts its tick whether or not eBay answered: a failed synchronisation is
// retried in the background, and meanwhile the snipes follow this
// computer's clock rather than never being placed.
void startClock();

// The first step once the main loop has ended (File > Exit, a signal, the
// session's end): nothing more is bid, at once, whatever still waits; then
// each command of the window still waiting for the data file is tried once
// more, and what the file still refuses is kept for the next start (said by
// finishStore()). No box: the window has gone.
void endBidding(MainWindow& window);

// The last step of main(), once the window and its snipes are gone: stores
// what the snipes could not store yet. When the data file still refuses it,
// a box names the items and waits, trying every second, and ends as soon as
// everything is stored; its "Quit Anyway" saves what is left beside the data
// file for the next start, and only when even that fails is it lost (a
// second box says so). What a reload read from eBay keeps no box: the next
// start's reload reads it again.
void finishStore();

} // namespace Startup

#endif // STARTUP_H
