// A plug-in with one known export, loaded by the library-loading tests.
extern "C" int VeskPlatformTestAnswer()
{
    return 42;
}
