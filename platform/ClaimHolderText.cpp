// The claim's holders in words.
#include "platform/ClaimHolderText.h"

namespace platform {

std::string claimHolderText(const FolderClaim::Holder& holder) {
    const std::string process = "process " + std::to_string(holder.named.pid);
    const std::string saysLink = " (so says " + holder.link + ")";
    switch (holder.names) {
        case LinkNames::Nothing: return "another process (it locks " + holder.folder + ")";
        case LinkNames::OtherNamespace:
            return process + " in another pid namespace of this host, a container's or a sandbox's" + saysLink;
        case LinkNames::OtherHost: return process + " on " + holder.named.host + saysLink;
        case LinkNames::NameSake:
            return process + " on a machine named " + holder.named.host + " whose machine id is not this one's" +
                   saysLink;
        case LinkNames::OlderRunning:
            return process + " of this host (so says " + holder.link +
                   ", made by an older version: whether that process is a game cannot be told)";
        default: return process + " of this host (it holds " + holder.link + ")";
    }
}

std::string claimRemedyText(const FolderClaim::Holder& holder, bool seen, const std::string& program) {
    const std::string restart = " and start the " + program + " again";
    if (holder.names == LinkNames::Junk) return "remove " + holder.link + restart;
    if (seen && holder.names == LinkNames::Nothing)
        return "if that is a " + program + " that hangs or is stopped, end it" + restart;
    if (seen)
        return "if that process is no " + program + ", or a " + program + " that hangs or is stopped, end it" + restart;
    const std::string remove = "remove " + holder.link + " and start it again";
    if (holder.names == LinkNames::NameSake) return "if that was this machine before its machine id changed, " + remove;
    if (holder.names == LinkNames::OlderRunning) return "if no " + program + " runs, " + remove;
    return "if no " + program + " runs there, " + remove;
}

}  // namespace platform
