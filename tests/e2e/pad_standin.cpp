// A gamepad for the end-to-end tests, where no /dev/input can be had: loaded
// with LD_PRELOAD, it answers the three questions Allegro's Linux joystick
// driver asks of its device (the driver's version, the number of axes and of
// buttons) when that device is a FIFO, so the test can name a FIFO as the
// joystick device and write the pad's events into it. Every other ioctl goes
// through untouched.
#include <dlfcn.h>
#include <linux/joystick.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>

// As a common pad reports itself: two sticks, two triggers and a d-pad
// (axes 6 and 7); A, B, X, Y, two shoulders, Back, Start, the guide button
// and the two stick presses.
enum { standin_axes = 8, standin_buttons = 11 };

namespace {

bool is_fifo(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode);
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (is_fifo(fd)) {
        switch (request) {
            case JSIOCGVERSION: *static_cast<unsigned*>(arg) = JS_VERSION; return 0;
            case JSIOCGAXES: *static_cast<unsigned char*>(arg) = standin_axes; return 0;
            case JSIOCGBUTTONS: *static_cast<unsigned char*>(arg) = standin_buttons; return 0;
            default: errno = ENOTTY; return -1;
        }
    }
    static int (*real_ioctl)(int, unsigned long, ...);
    if (!real_ioctl)
        real_ioctl = reinterpret_cast<int (*)(int, unsigned long, ...)>(dlsym(RTLD_NEXT, "ioctl"));
    return real_ioctl(fd, request, arg);
}
