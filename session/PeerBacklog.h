#pragma once

#include <optional>

namespace tqx {

// How many bytes of what we sent a client on this machine has not read yet: the receive queue of
// the client's own end of a connected TCP socket, which the system lists for every socket of the
// machine. Nothing when the client is elsewhere or the system does not say. A client that waits
// for each reply has read it whole before it sends again; one that reads short leaves bytes
// behind, and reads every later reply behind them.
std::optional<long long> unreadByLocalPeer(int connectedFd);

} // namespace tqx
