// Leak checking in sanitizer builds: Qt's offscreen platform plugin (used by
// every widget test) never frees its screen and cursor objects. Those
// allocations are not ours to fix; everything else is still reported.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libqoffscreen.so\n"
           "leak:QScreen::QScreen\n"
           "leak:QPlatformScreen::QPlatformScreen\n"
           "leak:QWindowSystemInterface::handleScreenAdded\n"
           "leak:QPlatformCursor::QPlatformCursor\n";
}
#endif
