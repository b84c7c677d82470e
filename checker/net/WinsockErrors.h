#pragma once

namespace velkora::winsock {

// Windows Sockets error numbers the socket layer tests for by value.
inline constexpr int kWouldBlock = 10035;  // also "in progress" for a non-blocking connect
inline constexpr int kNotSocket = 10038;
inline constexpr int kConnectionRefused = 10061;
inline constexpr int kHostNotFound = 11001;

// An errno value without a Windows Sockets counterpart becomes this base plus the errno value,
// far above every Windows Sockets number, so it falls to the "(code)" text and still tells
// which errno it was.
inline constexpr int kUnmappedErrnoBase = 20000;
// The same for a getaddrinfo result without a counterpart: the base plus its magnitude.
inline constexpr int kUnmappedResolverBase = 30000;

// The Windows Sockets number for an errno value of a socket call; 0 for 0.
int fromErrno(int errnoValue);

// The Windows Sockets number for a getaddrinfo result; 0 for 0. EAI_SYSTEM takes the errno
// given.
int fromResolver(int gaiResult, int errnoValue);

}  // namespace velkora::winsock
