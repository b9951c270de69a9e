// Every question runs at once on non-blocking sockets, as the TV probe's do. MsgWaitForMultipleObjects
// takes at most 63 handles and four /24s are 1016 connects, so sockets share events: one per
// group of kSocketsPerEvent, and one for the SSDP sockets. A wake looks only at the groups whose
// event is set, so the window never waits for a walk over every socket.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "MessageWait.h"
#include "net/EventSocketWin.h"
#include "net/LocalAddress.h"
#include "net/TvSearchWin.h"

namespace tvsearch {

namespace {

using tvprobe::EventSocket;
using tvprobe::RestExchange;

constexpr std::size_t kSocketsPerEvent = 32;
// Opening, asking and closing a socket each take a few calls of the system; under Wine every one is
// a round trip to its server. The window is served after every few sockets.
constexpr int kSocketsPerDispatch = 6;
// So many connects start at a time, then the events that came are looked at: a host that answers
// SSDP meanwhile goes first.
constexpr std::size_t kStartsPerStep = 12;
// The sockets still open when the search ends take a moment to close: the bound holds that too.
constexpr DWORD kClosingMs = 50;
// SSDP answers from hosts of an adapter's subnet outside the /24 asked: asked too, up to this many.
constexpr std::size_t kMaxHostsOutside = 64;

sockaddr_in Endpoint(std::uint32_t address, std::uint16_t port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = ::htonl(address);
    to.sin_port = ::htons(port);
    return to;
}

class Event {
public:
    Event() : event_(::WSACreateEvent()) {}
    ~Event() {
        if (event_ != WSA_INVALID_EVENT) ::WSACloseEvent(event_);
    }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    WSAEVENT get() const noexcept { return event_; }
    // Set since the last look; reset for the next one, before the sockets behind it are asked.
    bool Take() const { return ::WaitForSingleObject(event_, 0) == WAIT_OBJECT_0 && ::WSAResetEvent(event_); }

private:
    WSAEVENT event_;
};

struct Asked {
    std::uint32_t address;
    std::unique_ptr<RestExchange> rest;
    bool ssdp = false;  // answered an M-SEARCH for a TV service
    bool IsTv() const { return rest->device() && SaysItIsATv(*rest->device()); }
};

class Search {
public:
    Search(const std::vector<Network>& networks, const SearchOptions& options, ULONGLONG start)
        : networks_(networks),
          options_(options),
          start_(start),
          end_(start + (options.boundMs > kClosingMs ? options.boundMs - kClosingMs : 0)),
          toAsk_(HostsToAsk(networks)),
          inScan_(toAsk_.begin(), toAsk_.end()) {
        ::inet_pton(AF_INET, options.ssdpAddress.c_str(), &ssdpTo_.sin_addr);
        ssdpTo_.sin_family = AF_INET;
        ssdpTo_.sin_port = ::htons(options.ssdpPort);
        for (const Network& n : networks) {
            auto s = std::make_unique<EventSocket>(ssdpEvent_.get());
            if (!s->Bind(Endpoint(n.pc, 0), FD_READ)) continue;
            // Out of this adapter, and no further than its own link.
            const in_addr from = Endpoint(n.pc, 0).sin_addr;
            const DWORD ttl = 1;
            ::setsockopt(s->get(), IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<const char*>(&from),
                         sizeof from);
            ::setsockopt(s->get(), IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char*>(&ttl),
                         sizeof ttl);
            ssdp_.push_back(std::move(s));
        }
    }

    SearchResult Run() {
        SearchResult result;
        SendSsdp();
        while (!quitting_) {
            for (std::size_t n = 0; n < kStartsPerStep && started_ < toAsk_.size() && !quitting_;
                 ++started_) {
                if (index_.count(toAsk_[started_])) continue;  // asked already: it answered SSDP
                Ask(toAsk_[started_]);
                ++n;
            }
            const ULONGLONG now = ::GetTickCount64();
            for (Asked& a : asked_) a.rest->OnTime(now);
            if (!repeated_ && now >= start_ + options_.ssdpRepeatMs) SendSsdp();
            if (Finished(now)) break;

            std::vector<HANDLE> events{ssdpEvent_.get()};
            for (std::size_t g = 0; g < groups_.size(); ++g)
                if (Pending(g)) events.push_back(groups_[g]->get());
            // More to start: only the window is served before the next step.
            ULONGLONG until = started_ < toAsk_.size() ? now : end_;
            if (!repeated_) until = std::min(until, start_ + options_.ssdpRepeatMs);
            if (now < start_ + options_.ssdpSettleMs) until = std::min(until, start_ + options_.ssdpSettleMs);
            const Woke woke = SleepServingTheWindow(options_.wait, events, until);
            if (woke == Woke::Quitting) quitting_ = true;
            if (woke == Woke::Failed) break;  // cannot wait: what is not known by now stays so
            if (woke != Woke::Event) continue;
            if (ssdpEvent_.Take()) ReadSsdp();
            // Many hosts may have answered at once (a subnet's silent addresses give up together).
            for (std::size_t g = 0; g < groups_.size() && !quitting_; ++g) {
                if (!Pending(g) || !groups_[g]->Take()) continue;
                for (std::size_t i = g * kSocketsPerEvent;
                     i < std::min(asked_.size(), (g + 1) * kSocketsPerEvent); ++i) {
                    if (asked_[i].rest->done()) continue;
                    asked_[i].rest->OnEvent();
                    Breathe();
                }
            }
        }
        result.quitting = quitting_;
        result.hostsAsked = asked_.size();
        for (Asked& a : asked_) {
            if (a.ssdp) ++result.ssdpHosts;
            if (!quitting_ && a.IsTv())
                result.tvs.push_back({tvprobe::IPv4Text(a.address), *a.rest->device()});
            a.rest.reset();  // its socket closed, the window served meanwhile
            if (!quitting_) Breathe();
        }
        std::sort(result.tvs.begin(), result.tvs.end(), [](const FoundTv& x, const FoundTv& y) {
            return tvprobe::ParseIPv4(x.address) < tvprobe::ParseIPv4(y.address);
        });
        return result;
    }

private:
    // After a socket's calls: every few sockets, the window's input is dispatched.
    void Breathe() {
        if (++sockets_ % kSocketsPerDispatch == 0 && QuittingAfterDispatch()) quitting_ = true;
    }

    void Ask(std::uint32_t host) {
        if (asked_.size() % kSocketsPerEvent == 0) groups_.push_back(std::make_unique<Event>());
        const std::string text = tvprobe::IPv4Text(host);
        index_[host] = asked_.size();
        asked_.push_back(
            {host, std::make_unique<RestExchange>(Endpoint(host, options_.restPort), text, options_.restPort,
                                                  end_, groups_.back()->get())});
        Breathe();
    }

    bool Pending(std::size_t group) const {
        for (std::size_t i = group * kSocketsPerEvent;
             i < std::min(asked_.size(), (group + 1) * kSocketsPerEvent); ++i)
            if (!asked_[i].rest->done()) return true;
        return false;
    }

    void SendSsdp() {
        repeated_ = sentOnce_;
        sentOnce_ = true;
        for (const auto& s : ssdp_) {
            for (std::string_view service : kTvServices) {
                const std::string request = SsdpSearch(service);
                ::sendto(s->get(), request.data(), int(request.size()), 0,
                         reinterpret_cast<const sockaddr*>(&ssdpTo_), sizeof ssdpTo_);
            }
        }
    }

    // Every datagram that has come: an answer for a TV service from a host of a searched
    // network marks that host (asked now where the /24 did not hold it).
    void ReadSsdp() {
        for (const auto& s : ssdp_) {
            static_cast<void>(s->Events());
            for (;;) {
                char datagram[2048];
                sockaddr_in from{};
                int length = sizeof from;
                const int n = ::recvfrom(s->get(), datagram, sizeof datagram, 0,
                                         reinterpret_cast<sockaddr*>(&from), &length);
                if (n < 0 && ::WSAGetLastError() == WSAEMSGSIZE) continue;  // too long for an answer
                if (n < 0) break;
                const std::uint32_t host = ::ntohl(from.sin_addr.s_addr);
                if (!IsTvServiceAnswer(std::string_view(datagram, std::size_t(n))) || !OnALink(host))
                    continue;
                auto found = index_.find(host);
                if (found == index_.end()) {
                    if (!inScan_.count(host)) {
                        if (outside_ == kMaxHostsOutside) continue;
                        ++outside_;
                    }
                    Ask(host);
                    found = index_.find(host);
                }
                asked_[found->second].ssdp = true;
            }
        }
    }

    bool OnALink(std::uint32_t host) const {
        return std::any_of(networks_.begin(), networks_.end(),
                           [&](const Network& n) { return host >= n.linkFirst && host <= n.linkLast; }) &&
               std::none_of(networks_.begin(), networks_.end(),
                            [&](const Network& n) { return host == n.pc; });
    }

    // Past the bound; or, once SSDP answers had their time, every host has answered, or a TV that
    // answered SSDP has given its REST answer and no host that took a connection still owes one.
    bool Finished(ULONGLONG now) const {
        if (now >= end_) return true;
        if (now < start_ + options_.ssdpSettleMs || !repeated_) return false;
        const bool allDone =
            started_ == toAsk_.size() &&
            std::all_of(asked_.begin(), asked_.end(), [](const Asked& a) { return a.rest->done(); });
        const bool tvOnSsdp =
            std::any_of(asked_.begin(), asked_.end(), [](const Asked& a) { return a.ssdp && a.IsTv(); });
        const bool owed =
            std::any_of(asked_.begin(), asked_.end(), [](const Asked& a) { return a.rest->answering(); });
        return allDone || (tvOnSsdp && !owed);
    }

    const std::vector<Network>& networks_;
    const SearchOptions& options_;
    const ULONGLONG start_, end_;
    Event ssdpEvent_;
    std::vector<std::unique_ptr<Event>> groups_;  // before the sockets that share them
    std::vector<Asked> asked_;
    std::map<std::uint32_t, std::size_t> index_;
    const std::vector<std::uint32_t> toAsk_;  // the hosts of the networks, started in steps
    const std::set<std::uint32_t> inScan_;
    std::size_t started_ = 0;
    std::vector<std::unique_ptr<EventSocket>> ssdp_;
    sockaddr_in ssdpTo_{};
    std::size_t outside_ = 0;
    bool sentOnce_ = false, repeated_ = false;
    int sockets_ = 0;
    bool quitting_ = false;
};

SearchResult SearchFrom(const std::vector<Network>& networks, const SearchOptions& options, ULONGLONG start) {
    SearchResult result;
    try {
        if (QuittingAfterDispatch()) {  // what came before the first wait
            result.quitting = true;
            return result;
        }
        if (networks.empty()) return result;
        tvprobe::WinsockUse winsock;
        if (!winsock.ok()) return result;
        return Search(networks, options, start).Run();
    } catch (...) {
        return SearchResult{};  // out of memory: nothing found
    }
}

SearchFunction searchForTests = nullptr;

}  // namespace

SearchFunction SetSearchForTests(SearchFunction search) noexcept {
    return std::exchange(searchForTests, search);
}

SearchResult SearchNetworks(const std::vector<Network>& networks, const SearchOptions& options) {
    return SearchFrom(networks, options, ::GetTickCount64());
}

SearchResult SearchTvs(const SearchOptions& options) {
    if (searchForTests) return searchForTests(options);
    const ULONGLONG start = ::GetTickCount64();  // the bound holds the listing of the adapters too
    return SearchFrom(NetworksToSearch(GetLocalIPv4Items()), options, start);
}

}  // namespace tvsearch
