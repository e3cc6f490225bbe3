// A small X11 helper for the end-to-end test, as a person's window manager would act.
//   x11_window wait NAME SECONDS   waits until a window named NAME is mapped; prints its id
//   x11_window close NAME          asks the window named NAME to close (WM_DELETE_WINDOW)
// Exit status 0 on success, 1 when no such window came up, 2 on a usage error.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

bool NameOf(Display* d, Window w, std::string& out) {
  const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(d, w, netName, 0, 1024, False, utf8, &type, &format, &count, &after, &data) == Success &&
      data != nullptr) {
    out.assign(reinterpret_cast<const char*>(data), count);
    XFree(data);
    return true;
  }
  char* name = nullptr;
  if (XFetchName(d, w, &name) != 0 && name != nullptr) {
    out = name;
    XFree(name);
    return true;
  }
  return false;
}

Window Find(Display* d, Window w, const std::string& name) {
  std::string n;
  if (NameOf(d, w, n) && n == name) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(d, w, &attributes) != 0 && attributes.map_state == IsViewable) return w;
  }
  Window root = 0, parent = 0, *children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(d, w, &root, &parent, &children, &count) == 0) return 0;
  Window found = 0;
  for (unsigned int i = 0; i < count && found == 0; ++i) found = Find(d, children[i], name);
  if (children != nullptr) XFree(children);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string command = argv[1], name = argv[2];
  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr) {
    std::fprintf(stderr, "x11_window: cannot open the display\n");
    return 2;
  }
  int status = 1;
  if (command == "wait" && argc == 4) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[3]));
    while (std::chrono::steady_clock::now() < end) {
      if (const Window w = Find(d, DefaultRootWindow(d), name)) {
        std::printf("0x%lx\n", w);
        status = 0;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  } else if (command == "close" && argc == 3) {
    if (const Window w = Find(d, DefaultRootWindow(d), name)) {
      XEvent event{};
      event.xclient.type = ClientMessage;
      event.xclient.window = w;
      event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
      event.xclient.format = 32;
      event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
      event.xclient.data.l[1] = CurrentTime;
      XSendEvent(d, w, False, NoEventMask, &event);
      XFlush(d);
      status = 0;
    }
  } else {
    status = 2;
  }
  XCloseDisplay(d);
  return status;
}
