#include "checker/net/WinsockErrors.h"

#include <netdb.h>

#include <cerrno>
#include <cstdlib>

namespace velkora::winsock {

int fromErrno(int errnoValue) {
    switch (errnoValue) {
        case 0:
            return 0;
        case EINTR:
            return 10004;
        case EACCES:
            return 10013;
        case EFAULT:
            return 10014;
        case EINVAL:
            return 10022;
        case EMFILE:
        case ENFILE:  // the system's table rather than the process's; the same for the user
            return 10024;
#if EAGAIN != EWOULDBLOCK
        case EWOULDBLOCK:
#endif
        case EAGAIN:
        case EINPROGRESS:  // a non-blocking connect under way reports would-block there
            return kWouldBlock;
        case EALREADY:
            return 10037;
        case ENOTSOCK:
        case EBADF:  // an invalid handle: Windows Sockets calls give not-a-socket for it
            return kNotSocket;
        case EDESTADDRREQ:
            return 10039;
        case EMSGSIZE:
            return 10040;
        case EPROTOTYPE:
            return 10041;
        case ENOPROTOOPT:
            return 10042;
        case EPROTONOSUPPORT:
            return 10043;
        case ESOCKTNOSUPPORT:
            return 10044;
#if EOPNOTSUPP != ENOTSUP
        case ENOTSUP:
#endif
        case EOPNOTSUPP:
            return 10045;
        case EPFNOSUPPORT:
            return 10046;
        case EAFNOSUPPORT:
            return 10047;
        case EADDRINUSE:
            return 10048;
        case EADDRNOTAVAIL:
            return 10049;
        case ENETDOWN:
            return 10050;
        case ENETUNREACH:
            return 10051;
        case ENETRESET:
            return 10052;
        case ECONNABORTED:
            return 10053;
        case ECONNRESET:
            return 10054;
        case ENOBUFS:
        case ENOMEM:  // out of memory for the socket: the buffer-space text fits
            return 10055;
        case EISCONN:
            return 10056;
        case ENOTCONN:
            return 10057;
        case ESHUTDOWN:
        case EPIPE:  // sending after the write side was shut down
            return 10058;
        case ETIMEDOUT:
            return 10060;
        case ECONNREFUSED:
            return kConnectionRefused;
        case EHOSTDOWN:
            return 10064;
        case EHOSTUNREACH:
            return 10065;
        default:
            return kUnmappedErrnoBase + errnoValue;
    }
}

int fromResolver(int gaiResult, int errnoValue) {
    switch (gaiResult) {
        case 0:
            return 0;
        case EAI_NONAME:
            return kHostNotFound;
        case EAI_AGAIN:
            return 11002;
        case EAI_FAIL:
            return 11003;
#ifdef EAI_NODATA
        case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY:  // the host has addresses, but no IPv4 one
#endif
            return 11004;
        case EAI_MEMORY:
            return 10055;
        case EAI_SYSTEM:
            if (errnoValue != 0) {
                return fromErrno(errnoValue);
            }
            break;
        default:
            break;
    }
    return kUnmappedResolverBase + std::abs(gaiResult);
}

}  // namespace velkora::winsock
