/* Sets the X screen's RandR monitors and keeps them: monitors a client sets vanish when it
 * disconnects. The first monitor takes the screen's output, so it replaces the automatic
 * full-width one.
 *   monitors COMMAND-FILE WxH+X+Y[,WxH+X+Y...]
 * Prints "ready" once the layout holds. Then a layout written to COMMAND-FILE replaces the
 * current one; the file is removed once the new layout holds. Ends on SIGTERM or SIGINT. */
#define _POSIX_C_SOURCE 200809L
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

enum { maxMonitors = 8 };

static volatile sig_atomic_t stopping = 0;

static void stop(int sig) {
    (void)sig;
    stopping = 1;
}

static int parseLayout(const char* text, XRRMonitorInfo* monitors) {
    int count = 0;
    while (count < maxMonitors) {
        XRRMonitorInfo* m = &monitors[count];
        int used = 0;
        memset(m, 0, sizeof *m);
        if (sscanf(text, "%dx%d+%d+%d%n", &m->width, &m->height, &m->x, &m->y, &used) != 4 ||
            m->width <= 0 || m->height <= 0)
            return 0;
        ++count;
        text += used;
        if (*text != ',') break;
        ++text;
    }
    while (*text == '\n' || *text == '\r' || *text == ' ')
        ++text;
    return *text ? 0 : count;
}

static int sameGeometry(const XRRMonitorInfo* a, const XRRMonitorInfo* b) {
    return a->x == b->x && a->y == b->y && a->width == b->width && a->height == b->height;
}

/* Sets monitors named SKARVEL-1... that are new or changed, and deletes the ones the layout no
 * longer has. The server refuses to set a name that is in use, so a changed one goes first. */
static void apply(Display* display, Window root, RROutput output, XRRMonitorInfo* monitors,
                  int count, XRRMonitorInfo* shown, int* shownCount) {
    for (int i = 0; i < maxMonitors; ++i) {
        char name[16];
        snprintf(name, sizeof name, "SKARVEL-%d", i + 1);
        const Atom atom = XInternAtom(display, name, False);
        const int wasShown = i < *shownCount;
        if (i < count && wasShown && sameGeometry(&monitors[i], &shown[i])) continue;
        if (wasShown) XRRDeleteMonitor(display, root, atom);
        if (i >= count) continue;
        XRRMonitorInfo* m = &monitors[i];
        m->name = atom;
        m->primary = i == 0;
        m->automatic = False;
        m->mwidth = m->width * 254 / 960; /* 96 DPI */
        m->mheight = m->height * 254 / 960;
        m->noutput = i == 0 && output ? 1 : 0;
        m->outputs = i == 0 && output ? &output : NULL;
        XRRSetMonitor(display, root, m);
        shown[i] = *m;
    }
    *shownCount = count;
    XSync(display, False);
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: monitors COMMAND-FILE WxH+X+Y[,WxH+X+Y...]\n");
        return 2;
    }
    XRRMonitorInfo monitors[maxMonitors], shown[maxMonitors];
    int count = parseLayout(argv[2], monitors), shownCount = 0;
    if (!count) {
        fprintf(stderr, "monitors: bad layout %s\n", argv[2]);
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "monitors: no display\n");
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    int major = 0, minor = 0;
    if (!XRRQueryVersion(display, &major, &minor) || major * 100 + minor < 105) {
        fprintf(stderr, "monitors: RandR 1.5 is needed\n");
        return 1;
    }
    RROutput output = 0;
    XRRScreenResources* resources = XRRGetScreenResources(display, root);
    if (resources && resources->noutput > 0) output = resources->outputs[0];
    if (resources) XRRFreeScreenResources(resources);

    signal(SIGTERM, stop);
    signal(SIGINT, stop);
    apply(display, root, output, monitors, count, shown, &shownCount);
    printf("ready\n");
    fflush(stdout);

    const struct timespec poll = {0, 20 * 1000 * 1000};
    while (!stopping) {
        nanosleep(&poll, NULL);
        FILE* file = fopen(argv[1], "r");
        if (!file) continue;
        char text[256] = "";
        const size_t length = fread(text, 1, sizeof text - 1, file);
        fclose(file);
        text[length] = '\0';
        count = parseLayout(text, monitors);
        if (count)
            apply(display, root, output, monitors, count, shown, &shownCount);
        else
            fprintf(stderr, "monitors: bad layout %s\n", text);
        unlink(argv[1]);
        /* a round trip also notices a server that went away, which ends this client */
        XSync(display, False);
    }
    XCloseDisplay(display);
    return 0;
}
