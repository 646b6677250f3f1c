// Carrying out the fake router's commands on a FakeRouter, with a short report for the user.
#include "fakerouter/commands.h"

#include <cstdio>

namespace fakerouter
{
namespace
{

std::string clients(const FakeRouter &router)
{
    std::size_t n = router.clientCount();
    return std::to_string(n) + (n == 1 ? " client" : " clients");
}

std::string seconds(std::chrono::milliseconds duration)
{
    char text[32];
    std::snprintf(text, sizeof text, "%gs", static_cast<double>(duration.count()) / 1000.0);
    return text;
}

std::string outcome(const FakeRouter &router, std::string_view what, bool complete)
{
    if (router.silent())
        return "silent, dropped " + std::string(what);
    return "sent " + std::string(what) + " to " + clients(router) + (complete ? "" : " (not all of it was taken)");
}

std::string bytes(std::size_t n)
{
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

} // namespace

std::string escaped(std::string_view bytes, std::size_t limit)
{
    std::string text;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r' || c == '\n' || c == '\t' || c == '\\' || c == '"') {
            text += '\\';
            text += c == '\r' ? 'r' : c == '\n' ? 'n' : c == '\t' ? 't' : static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            text += static_cast<char>(c);
        } else {
            char octal[8];
            std::snprintf(octal, sizeof octal, "\\%03o", c);
            text += octal;
        }
    }
    if (bytes.size() > limit)
        text += "...";
    return text;
}

std::string perform(FakeRouter &router, const Command &command)
{
    auto line = [&] { return command.asIs ? command.text : router.stampedLine(command.text); };
    switch (command.action) {
    case Action::Send: {
        std::string sent = line();
        bool complete = router.send(sent);
        return outcome(router, "\"" + escaped(sent) + "\"", complete);
    }
    case Action::Stall: {
        std::string whole = line();
        std::string sent = router.stall(whole, command.count);
        return outcome(router, "\"" + escaped(sent) + "\"", true) + "; " + bytes(router.stalledBytes()) +
               " kept for resume";
    }
    case Action::Resume: {
        if (router.stalledBytes() == 0)
            return "nothing kept to resume";
        std::string sent = router.resume();
        return outcome(router, "\"" + escaped(sent) + "\"", true);
    }
    case Action::Drip: {
        std::string sent = line();
        bool complete = router.drip(sent);
        if (router.dripLeft() == 0)
            return outcome(router, "\"" + escaped(sent) + "\" byte by byte", complete);
        return (router.silent() ? "silent, dripping " : "dripping ") + bytes(sent.size()) + " \"" + escaped(sent) +
               "\" to " + clients(router) + ", " + seconds(command.duration) + " apart";
    }
    case Action::DripNext: {
        if (router.dripLeft() == 0)
            return "nothing left to drip";
        bool complete = router.dripNext();
        if (router.dripLeft() > 0)
            return {};
        return outcome(router, "\"" + escaped(router.dripped()) + "\" byte by byte", complete);
    }
    case Action::Nul: return outcome(router, "a NUL byte", router.sendNul());
    case Action::Garbage: {
        std::string sent = router.sendGarbage(command.count, command.seed);
        return outcome(router, bytes(sent.size()) + " of garbage (seed " + std::to_string(command.seed) + ")", true);
    }
    case Action::Flood: {
        if (router.silent())
            return "silent, no flood";
        std::size_t taken = router.flood(command.count, command.duration);
        if (!router.hasClient())
            return "no client to flood";
        return "flood: the slowest of " + clients(router) + " took " + bytes(taken) + " of about " +
               bytes(command.count) + " within " + seconds(command.duration);
    }
    case Action::Close: {
        std::string before = clients(router);
        router.closeClients();
        return "closed " + before + " (FIN)";
    }
    case Action::Reset: {
        std::string before = clients(router);
        router.resetClients();
        return "reset " + before + " (RST)";
    }
    case Action::Refuse:
        router.setRefusing(true);
        return "refusing connections" +
               (command.duration.count() > 0 ? " for " + seconds(command.duration) : std::string(" until listen"));
    case Action::Listen: router.setRefusing(false); return "listening on " + router.address();
    case Action::Silent:
        router.setSilent(true);
        return "silent" +
               (command.duration.count() > 0 ? " for " + seconds(command.duration) : std::string(" until speak"));
    case Action::Speak: router.setSilent(false); return "speaking again";
    case Action::Status:
        router.acceptPending();
        return (router.refusing() ? "refusing on " : "listening on ") + router.address() + ", " + clients(router) +
               (router.silent() ? ", silent" : "") +
               (router.stalledBytes() > 0 ? ", " + bytes(router.stalledBytes()) + " kept for resume" : "") +
               (router.dripLeft() > 0 ? ", " + bytes(router.dripLeft()) + " left to drip" : "");
    case Action::Help: return std::string(commandSummary());
    case Action::Quit: return "bye";
    case Action::WaitClient:
        router.acceptPending();
        return router.hasClient() ? clients(router) + " connected" : "waiting for a client";
    }
    return "?";
}

std::optional<Command> followUp(const Command &command)
{
    if (command.duration.count() == 0 || (command.action != Action::Refuse && command.action != Action::Silent))
        return std::nullopt;
    Command end;
    end.action = command.action == Action::Refuse ? Action::Listen : Action::Speak;
    return end;
}

std::string_view commandSummary()
{
    return R"(Router lines (a timestamp of now goes in front unless the line starts with one; CR LF is appended):
  ring ID CALLER OWN [LINE]       RING: an incoming call (LINE defaults to SIP0)
  call ID EXT OWN CALLED [LINE]   CALL: an outgoing call
  connect ID EXT NUMBER           CONNECT: the call was answered
  disconnect ID SECONDS           DISCONNECT: the call ended after SECONDS
  WORD;FIELD;...;                 a typed line holding a ";" is sent as a router line
  line TEXT                       TEXT sent as a router line, ";" or not
  raw TEXT                        TEXT sent exactly: no timestamp, no CR LF; escapes \r \n \t \\ \" \ooo \xHH
  A number written "-" is sent as an empty field (a caller who hides the number).
Misbehaviour:
  stall [N] LINE       send the first N bytes of LINE (default: half) and keep the rest
  resume               send the kept rest
  drip [DELAY] LINE    send LINE one byte at a time, DELAY apart (default 100ms)
  nul                  send one NUL byte
  garbage N [SEED]     send N bytes of any value (the same bytes for the same SEED, default 1)
  flood MB [DEADLINE]  send MB megabytes of router lines, giving up after DEADLINE (default 10s)
  close                close the connections (FIN), like a router restart
  reset                abort the connections (RST)
  refuse [DURATION]    stop listening, so connects are refused, for DURATION or until listen
  listen               listen again on the same port
  silent [DURATION]    keep the connections but send nothing, for DURATION or until speak
  speak                send again
  status, help, quit
LINE is a ring, call, connect, disconnect, line or raw command, or a typed line holding a ";".
DURATION is seconds, or a number with a unit: 2.5, 2.5s, 300ms, 1m or 1min, 1h.
Scripts hold one command a line; a line starting with # is a comment; and
  wait DURATION        the next command comes DURATION after the one before
  at DURATION          the next command comes DURATION after the start (or the last wait client)
  at +DURATION         the same as wait DURATION
  wait client          wait until a client is connected; later at times count from then
)";
}

} // namespace fakerouter
