// The messenger stand-in: `--install` / `--uninstall` its scheme handler, or
// handle the URL it is opened with. With a display it asks the user whether
// to send; without one it answers as $PIGEON_STANDIN_ANSWER says ("cancel",
// else send).
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#if STARGRID_STANDIN_GTK
#include <gtk/gtk.h>
#endif

#include "Messenger.h"
#include "SchemeRegistration.h"
#include "platform/PrintableText.h"

namespace {

standin::Choice answerFromEnvironment() {
    const char* answer = std::getenv("PIGEON_STANDIN_ANSWER");
    return (answer && std::strcmp(answer, "cancel") == 0) ? standin::Choice::Cancel : standin::Choice::Send;
}

standin::Choice decide(const std::string& summary) {
#if STARGRID_STANDIN_GTK
    const char* answer = std::getenv("PIGEON_STANDIN_ANSWER");
    if (!(answer && answer[0]) && gtk_init_check(nullptr, nullptr)) {
        GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE,
                                                   "%s", summary.c_str());
        gtk_window_set_title(GTK_WINDOW(dialog), "Pigeon");
        gtk_dialog_add_buttons(GTK_DIALOG(dialog), "Cancel", GTK_RESPONSE_CANCEL, "Send", GTK_RESPONSE_ACCEPT, nullptr);
        const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
        gtk_widget_destroy(dialog);
        while (gtk_events_pending()) gtk_main_iteration();
        return response == GTK_RESPONSE_ACCEPT ? standin::Choice::Send : standin::Choice::Cancel;
    }
#else
    (void)summary;
#endif
    return answerFromEnvironment();
}

std::string ownExecutable() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, std::size_t(length)) : std::string();
}

void usage(std::FILE* out, const char* program) {
    std::fprintf(out, "usage: %s --install | --uninstall | URL | --help\n", platform::printableText(program).c_str());
}

int refuse(const std::string& what) {
    std::fprintf(stderr, "pigeon-standin: %s (pigeon-standin --help shows the usage)\n", what.c_str());
    return 2;
}

bool isOption(const char* arg, std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (std::strcmp(arg, name) == 0) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
        usage(stdout, argv[0]);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--install") == 0) {
        return standin::installSchemeHandler(ownExecutable()) ? 0 : 1;
    }
    if (argc == 2 && std::strcmp(argv[1], "--uninstall") == 0) return standin::uninstallSchemeHandler() ? 0 : 1;
    if (argc == 1) {
        usage(stderr, argv[0]);
        return 2;
    }
    const std::string first = argv[1];
    if (first.empty()) return refuse("an empty argument is neither an option nor a URL");
    const bool known = isOption(argv[1], {"--install", "--uninstall", "-h", "--help"});
    if (first[0] == '-' && !known) return refuse("unknown option " + platform::printableText(first));
    if (argc > 2) {
        if (known) return refuse(first + " takes nothing more");
        return refuse("one URL at most: unexpected argument \"" + platform::printableText(argv[2]) + "\"");
    }
    return standin::handleUrl(first, decide);
}
