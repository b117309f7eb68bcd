// A shared library with one function and nothing else: built with and without SONAME for the
// configure-time check of the framework libraries.
int tc120mxsEmptyLibrary() {
    return 0;
}
