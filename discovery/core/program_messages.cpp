#include "program_messages.h"

ProgramMessageText TextOf(ProgramMessage message)
{
    switch (message) {
    case ProgramMessage::SocketCreateError:
        return {MSG_SOCKET_CREATE_ERROR, true};
    case ProgramMessage::InvalidIpAddress:
        return {MSG_INVALID_IP_ADDRESS, false};
    case ProgramMessage::InvalidMask:
        return {MSG_INVALID_MASK, false};
    case ProgramMessage::InterfacesNotListed:
        return {MSG_INTERFACES_NOT_LISTED, true};
    }
    return {"", false};
}
