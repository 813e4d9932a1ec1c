// A private X server for a test: Xvfb started with -displayfd, so it picks
// a free display number itself, and ended with the object. Helpers read the
// screen's size and pixels and add a screen mode through RandR.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <utility>

class Xvfb {
 public:
  // `screen` as Xvfb takes it, e.g. "1024x768x24". name() is empty when the
  // server did not come up (within a generous half minute).
  explicit Xvfb(const char *screen) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp",
             static_cast<char *>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (pid_ > 0 && poll(&p, 1, 30000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) name_ = ":" + number;
    x_ = name_.empty() ? nullptr : XOpenDisplay(name_.c_str());
  }
  ~Xvfb() {
    if (x_) XCloseDisplay(x_);
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  Xvfb(const Xvfb &) = delete;
  Xvfb &operator=(const Xvfb &) = delete;

  const std::string &name() const { return name_; }
  // The test's own connection; it lives as long as the server.
  Display *x() const { return x_; }

  // Offers a w x h mode on the screen's output. The mode lasts as long as
  // the connection that made it, so it is made on x().
  bool add_mode(int w, int h) {
    XRRScreenResources *res = XRRGetScreenResources(x_, DefaultRootWindow(x_));
    if (!res || res->noutput < 1) return false;
    XRRModeInfo m{};
    std::string mode_name = std::to_string(w) + "x" + std::to_string(h);
    m.width = unsigned(w);
    m.height = unsigned(h);
    m.dotClock = 40000000;  // a 60 Hz timing: 1056 x 628 dots per frame
    m.hSyncStart = unsigned(w) + 40;
    m.hSyncEnd = unsigned(w) + 168;
    m.hTotal = 1056;
    m.vSyncStart = unsigned(h) + 1;
    m.vSyncEnd = unsigned(h) + 5;
    m.vTotal = 628;
    m.name = mode_name.data();
    m.nameLength = unsigned(mode_name.size());
    const RRMode id = XRRCreateMode(x_, DefaultRootWindow(x_), &m);
    XRRAddOutputMode(x_, res->outputs[0], id);
    XRRFreeScreenResources(res);
    XSync(x_, False);
    return id != 0;
  }

  // Size of the mode the screen shows now.
  std::pair<int, int> mode_size() {
    XRRScreenResources *res = XRRGetScreenResourcesCurrent(x_, DefaultRootWindow(x_));
    std::pair<int, int> size{0, 0};
    if (res && res->ncrtc > 0)
      if (XRRCrtcInfo *crtc = XRRGetCrtcInfo(x_, res, res->crtcs[0])) {
        size = {int(crtc->width), int(crtc->height)};
        XRRFreeCrtcInfo(crtc);
      }
    if (res) XRRFreeScreenResources(res);
    return size;
  }

  // The screen's pixel value at (px, py), in the screen's own format.
  unsigned long pixel(int px, int py) {
    XSync(x_, False);
    XImage *img = XGetImage(x_, DefaultRootWindow(x_), px, py, 1, 1, AllPlanes, ZPixmap);
    if (!img) return 0xDEADBEEF;
    const unsigned long v = XGetPixel(img, 0, 0);
    XDestroyImage(img);
    return v;
  }

 private:
  pid_t pid_ = -1;
  std::string name_;
  Display *x_ = nullptr;
};
