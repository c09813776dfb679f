// Linked into every program of the sanitizer build only (cmake/sanitizers.cmake):
// no library is ever unloaded, so LeakSanitizer, which runs after main, still
// scans the globals of the libraries (Mesa's DRI driver) that the toolkit
// unloads when it closes the display, and still names their frames.
extern "C" int dlclose(void*)
{
    return 0;
}
