// The load-time entry of the Windows DLLs, which are linked without a C
// runtime: nothing of the runtime's start-up runs, so the plug-in may have no
// global objects that need constructing.
//
// Runs at process and thread attach and detach. Nothing to set up: the plug-in
// keeps no global or per-thread state.
extern "C" int __stdcall DllEntry(void*, unsigned long, void*) { return 1; }
