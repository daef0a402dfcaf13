// A module for LoadLibraryA to find; built twice, answering differently by
// where it lies.
extern "C" int Win32TestModule_Answer() { return WIN32_TEST_ANSWER; }
