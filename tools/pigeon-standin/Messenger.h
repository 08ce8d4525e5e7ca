// What the stand-in does with one URL the application opened: it reads the
// request (from the URL and the exchange pasteboard), shows or logs it, and
// answers by opening the application's own scheme, as the messenger would.
#pragma once
#include <functional>
#include <string>

namespace standin {

enum class Choice { Send, Cancel };
// Asked once per request that needs the user, with a summary of it.
using Decide = std::function<Choice(const std::string& summary)>;

// One line to stderr and, appended, to $PIGEON_STANDIN_LOG (default
// $XDG_CACHE_HOME/stargrid/pigeon-standin.log, under the player's one home;
// the file and the folder lose what others may do there). The default log is
// written only as a regular file of its own: a link or a FIFO there is said once
// and left alone.
void log(const std::string& line);

// The exit status: 0 when the URL was understood (and answered where the
// messenger answers), 1 otherwise.
int handleUrl(const std::string& url, const Decide& decide);

}  // namespace standin
