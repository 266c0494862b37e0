#include "link/device/openfailure.h"

#include "common/linkerror.h"

#include <cerrno>

namespace kelvalog {

TOpenFailure OpenFailureOf(int Errno)
{
    switch (Errno) {
    case EACCES:
    case EPERM:
        return TOpenFailure::Permission;
    case EBUSY:
    case EWOULDBLOCK:
        return TOpenFailure::InUse;
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
    case EIO:
        return TOpenFailure::Gone;
    default:
        return TOpenFailure::Other;
    }
}

TOpenFailure OpenFailureOfCode(int Code)
{
    switch (Code) {
    case ecode::AccessDenied:
        return TOpenFailure::InUse;
    case ecode::FileNotFound:
    case ecode::PathNotFound:
        return TOpenFailure::Gone;
    default:
        return TOpenFailure::Other;
    }
}

std::string OpenFailureText(const std::string& Device, TOpenFailure Failure)
{
    switch (Failure) {
    case TOpenFailure::Permission:
        return Device + ": permission denied. Add your user to the 'dialout' group "
                        "(sudo usermod -aG dialout $USER) and log in again.";
    case TOpenFailure::InUse:
        return Device + ": in use by another program. Close that program and try again.";
    case TOpenFailure::Gone:
        return Device + ": no such device. It may have been unplugged.";
    case TOpenFailure::Other:
        break;
    }
    return {};
}

} // namespace kelvalog
