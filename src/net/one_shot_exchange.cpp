#include "net/one_shot_exchange.h"

#include "net/stream_errors.h"
#include "net/zorvi_socket.h"

namespace zorvi {

OneShotResult RunOneShot(ZorviSocket& socket, const std::string& host, int port,
                         const OneShotPlan& plan) {
    OneShotResult result;
    if (!socket.Create()) {
        result.failedAt = OneShotStep::Create;
        socket.Close();
        return result;
    }
    if (!socket.Connect(host, port)) {
        result.failedAt = OneShotStep::Connect;
        socket.Close();
        return result;
    }
    if (plan.onConnected) plan.onConnected();
    socket.Init();
    OneShotStep step = OneShotStep::Send;
    try {
        socket.SendMsg(plan.request);
        if (plan.readsReply) {
            step = OneShotStep::Receive;
            socket.ReceiveMsg(result.reply);
            if (plan.onReplied) plan.onReplied();
        }
        step = OneShotStep::Closing;
        socket.SendMsg(CMsg(plan.closingCode1, code2::kClosing));
    } catch (const StreamFailure&) {
        // The stream may have lost its place: nothing more is said on it.
        result.failedAt = step;
        if (step != OneShotStep::Closing) result.reply = CMsg();
        socket.Abort();
    }
    socket.Close();
    return result;
}

}  // namespace zorvi
