/* A DLL with one export, built for x86 and x64: the tests read its processor type. */
__declspec(dllexport) int ProbeMachine(void) { return (int)sizeof(void*); }
