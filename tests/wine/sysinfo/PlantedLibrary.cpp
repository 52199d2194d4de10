// A stand-in placed beside the test program under the name of a system library: the system
// library loader must never pick it up.
extern "C" __declspec(dllexport) int CdkPlantedMarker() { return 42; }
