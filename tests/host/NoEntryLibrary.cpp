// A shared library that is not a plug-in: it exports no XSILoadPlugin.
#ifdef _WIN32
#define TEST_EXPORT extern "C" __declspec(dllexport)
#else
#define TEST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

TEST_EXPORT int VelpoTestNotAPlugin() {
    return 42;
}
