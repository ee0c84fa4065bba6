// The emulated kernel's requests: overlapped and synchronous I/O, their
// completion, the waits on events and requests, and cancellation.
#include "platform/emulated/EmulatedKernel.h"

#include <algorithm>

namespace platform::emulated {
namespace {

// What an OVERLAPPED record's Internal field holds while its request runs.
constexpr ULONG_PTR STATUS_PENDING = 0x103;

std::uintptr_t Key(HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

}  // namespace

BOOL EmulatedKernel::CloseHandle(HANDLE handle) {
    std::unique_lock lock(mutex_);
    if (Faulted("CloseHandle")) return FALSE_;
    auto it = objects_.find(Key(handle));
    if (it == objects_.end()) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE_;
    }
    if (it->second.kind == Object::Kind::List) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE_;
    }
    const std::uintptr_t key = Key(handle);
    if (it->second.kind == Object::Kind::File) {
        // Closing a handle cancels what is still outstanding on it.
        static_cast<void>(CancelWhere([key](const Pending& p) { return p.handle == key; }, true));
        it = objects_.find(key);
        it->second.device->CloseHandle(it->second.context);
    } else {
        // The event of a request still outstanding: its owner is releasing
        // the request's record. Stop the request while its memory is still
        // there, and write nothing more into the record.
        bool any = false;
        for (Pending& p : pending_) {
            if (p.event != handle || p.overlapped == nullptr) continue;
            p.overlapped = nullptr;
            ++abandoned_;
            any = true;
        }
        if (any) static_cast<void>(CancelWhere([handle](const Pending& p) { return p.event == handle; }, true));
        it = objects_.find(key);
    }
    objects_.erase(it);
    wake_.notify_all();
    return TRUE_;
}

void EmulatedKernel::SignalEvent(HANDLE event) {
    if (Object* object = Find(event, Object::Kind::Event)) object->signaled = true;
    wake_.notify_all();
}

// ---- requests ---------------------------------------------------------------

BOOL EmulatedKernel::Submit(HANDLE handle, const IoRequest& request, DWORD* bytes, OVERLAPPED* overlapped,
                            const char* call) {
    std::unique_lock lock(mutex_);
    if (Faulted(call)) return FALSE_;
    Object* file = Find(handle, Object::Kind::File);
    if (file == nullptr) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE_;
    }
    const DWORD needed = request.kind == IoRequest::Kind::Read    ? GENERIC_READ
                         : request.kind == IoRequest::Kind::Write ? GENERIC_WRITE
                                                                  : 0;
    if ((file->access & needed) != needed) {
        SetError(ERROR_ACCESS_DENIED);
        return FALSE_;
    }
    IoRequest routed = request;
    routed.handleContext = file->context;
    std::shared_ptr<EmulatedDevice> device = file->device;
    const bool overlappedIo = file->overlappedIo;

    RunDueLocked();
    const RequestId id = nextRequest_++;
    const Pending pending{id, Key(handle), overlapped, nullptr, std::this_thread::get_id(), device, std::nullopt};
    if (overlapped == nullptr || !overlappedIo) return WaitSynchronously(lock, pending, routed, bytes, overlapped);

    // The system resets the record's event when an overlapped request starts.
    if (Object* event = Find(overlapped->hEvent, Object::Kind::Event)) event->signaled = false;
    overlapped->Internal = STATUS_PENDING;
    overlapped->InternalHigh = 0;
    pending_.push_back(pending);
    pending_.back().event = overlapped->hEvent;
    const SubmitResult result = device->Submit(id, routed, *this, clock_.Now());
    if (result.pending) {
        SetError(ERROR_IO_PENDING);
        return FALSE_;
    }
    Complete(id, result.status, result.bytes);
    if (bytes != nullptr) *bytes = result.bytes;
    if (result.status != 0) {
        SetError(result.status);
        return FALSE_;
    }
    return TRUE_;
}

BOOL EmulatedKernel::WaitSynchronously(std::unique_lock<std::mutex>& lock, Pending request, const IoRequest& routed,
                                       DWORD* bytes, OVERLAPPED* overlapped) {
    // A request without a record, or on a handle opened for synchronous I/O:
    // the system waits for it on the caller's behalf, without a time limit,
    // and only then returns. A record given on such a handle receives the
    // result, and its event is signalled, as the request ends.
    OVERLAPPED local{};
    local.Internal = STATUS_PENDING;
    request.overlapped = &local;
    if (overlapped != nullptr) {
        if (Object* event = Find(overlapped->hEvent, Object::Kind::Event)) event->signaled = false;
    }
    const RequestId id = request.id;
    pending_.push_back(request);
    const SubmitResult result = request.device->Submit(id, routed, *this, clock_.Now());
    if (!result.pending) Complete(id, result.status, result.bytes);
    if (!WaitLocked(
            lock, [&] { return local.Internal != STATUS_PENDING; }, std::nullopt)) {
        // Nothing will ever end it (virtual clock): where the system would
        // block for ever the call fails instead of hanging the test.
        std::erase_if(pending_, [&](const Pending& p) { return p.id == id; });
        SetError(ERROR_OPERATION_ABORTED);
        return FALSE_;
    }
    if (overlapped != nullptr) {
        overlapped->Internal = local.Internal;
        overlapped->InternalHigh = local.InternalHigh;
        if (overlapped->hEvent != nullptr) SignalEvent(overlapped->hEvent);
    }
    if (bytes != nullptr) *bytes = static_cast<DWORD>(local.InternalHigh);
    if (local.Internal != 0) {
        SetError(static_cast<DWORD>(local.Internal));
        return FALSE_;
    }
    return TRUE_;
}

void EmulatedKernel::Complete(RequestId id, DWORD status, DWORD bytes) {
    auto it = std::find_if(pending_.begin(), pending_.end(), [id](const Pending& p) { return p.id == id; });
    if (it == pending_.end()) return;  // completed twice: the first one counts
    OVERLAPPED* overlapped = it->overlapped;
    const HANDLE event = it->event;
    *it = pending_.back();
    pending_.pop_back();
    if (overlapped != nullptr) {
        overlapped->InternalHigh = bytes;
        overlapped->Internal = status;
        if (event != nullptr) SignalEvent(event);
    }
    wake_.notify_all();
}

BOOL EmulatedKernel::DeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                                     DWORD outputSize, DWORD* bytesReturned, OVERLAPPED* overlapped) {
    IoRequest request;
    request.kind = IoRequest::Kind::Control;
    request.code = code;
    request.input = static_cast<const std::uint8_t*>(input);
    request.inputSize = input == nullptr ? 0 : inputSize;
    request.output = static_cast<std::uint8_t*>(output);
    request.outputSize = output == nullptr ? 0 : outputSize;
    return Submit(device, request, bytesReturned, overlapped, "DeviceIoControl");
}

BOOL EmulatedKernel::ReadFile(HANDLE handle, LPVOID buffer, DWORD size, DWORD* bytesRead, OVERLAPPED* overlapped) {
    IoRequest request;
    request.kind = IoRequest::Kind::Read;
    request.output = static_cast<std::uint8_t*>(buffer);
    request.outputSize = size;
    return Submit(handle, request, bytesRead, overlapped, "ReadFile");
}

BOOL EmulatedKernel::WriteFile(HANDLE handle, LPCVOID buffer, DWORD size, DWORD* bytesWritten, OVERLAPPED* overlapped) {
    IoRequest request;
    request.kind = IoRequest::Kind::Write;
    request.input = static_cast<const std::uint8_t*>(buffer);
    request.inputSize = size;
    return Submit(handle, request, bytesWritten, overlapped, "WriteFile");
}

BOOL EmulatedKernel::GetOverlappedResult(HANDLE handle, OVERLAPPED* overlapped, DWORD* bytesTransferred, BOOL wait) {
    std::unique_lock lock(mutex_);
    if (Faulted("GetOverlappedResult")) return FALSE_;
    if (overlapped == nullptr || Find(handle, Object::Kind::File) == nullptr) {
        SetError(overlapped == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE_;
    }
    RunDueLocked();
    if (overlapped->Internal == STATUS_PENDING) {
        if (wait == FALSE_) {
            SetError(ERROR_IO_INCOMPLETE);
            return FALSE_;
        }
        if (!WaitLocked(
                lock, [overlapped] { return overlapped->Internal != STATUS_PENDING; }, std::nullopt)) {
            SetError(ERROR_IO_INCOMPLETE);
            return FALSE_;
        }
        // Waiting on the request consumes the signal of its event.
        if (Object* event = Find(overlapped->hEvent, Object::Kind::Event); event && !event->manualReset)
            event->signaled = false;
    }
    if (bytesTransferred != nullptr) *bytesTransferred = static_cast<DWORD>(overlapped->InternalHigh);
    if (overlapped->Internal != 0) {
        SetError(static_cast<DWORD>(overlapped->Internal));
        return FALSE_;
    }
    return TRUE_;
}

DWORD EmulatedKernel::WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    std::unique_lock lock(mutex_);
    if (Faulted("WaitForSingleObject")) return WAIT_FAILED;
    if (Find(handle, Object::Kind::Event) == nullptr) {
        SetError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    std::optional<Micros> deadline;
    if (milliseconds != INFINITE) deadline = clock_.Now() + static_cast<Micros>(milliseconds) * 1000;
    const std::uintptr_t key = Key(handle);
    auto signaled = [this, key] {
        auto it = objects_.find(key);
        return it == objects_.end() || it->second.signaled;
    };
    if (!WaitLocked(lock, signaled, deadline)) {
        if (deadline && clock_.Now() >= *deadline) return WAIT_TIMEOUT;
        SetError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    Object* event = Find(handle, Object::Kind::Event);
    if (event == nullptr) {  // closed while we waited
        SetError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (!event->manualReset) event->signaled = false;
    return WAIT_OBJECT_0;
}

template <typename Ready>
bool EmulatedKernel::WaitLocked(std::unique_lock<std::mutex>& lock, Ready ready, std::optional<Micros> deadline) {
    for (;;) {
        RunDueLocked();
        if (ready()) return true;
        const Micros now = clock_.Now();
        if (deadline && now >= *deadline) return false;
        std::optional<Micros> until = NextDeviceEvent();
        if (deadline && (!until || *deadline < *until)) until = deadline;
        if (!until) {
            // Nothing is scheduled. Under a virtual clock nothing ever will
            // be: report it instead of hanging the test.
            if (clock_.IsVirtual()) return false;
            wake_.wait(lock);
            continue;
        }
        clock_.WaitUntil(lock, wake_, std::max(*until, now));
    }
}

void EmulatedKernel::RunDueLocked() {
    const Micros now = clock_.Now();
    // A device may complete requests here; copy the list, since a device
    // could in principle be detached meanwhile.
    for (std::size_t i = 0; i < instances_.size(); ++i) instances_[i].device->Advance(*this, now);
    // Cancellations that have reached the driver by now, one at a time:
    // each one completes (and removes) its request.
    for (;;) {
        auto due = std::find_if(pending_.begin(), pending_.end(),
                                [now](const Pending& p) { return p.cancelAt && *p.cancelAt <= now; });
        if (due == pending_.end()) return;
        DeliverCancel(*due);
    }
}

std::optional<Micros> EmulatedKernel::NextDeviceEvent() {
    const Micros now = clock_.Now();
    std::optional<Micros> next;
    for (const Instance& i : instances_) {
        const std::optional<Micros> t = i.device->NextEventTime(now);
        if (t && (!next || *t < *next)) next = t;
    }
    for (const Pending& p : pending_)
        if (p.cancelAt && (!next || *p.cancelAt < *next)) next = std::max(*p.cancelAt, now);
    return next;
}

template <typename Match>
bool EmulatedKernel::CancelWhere(Match match, bool atOnce) {
    if (!atOnce && cancelDelay_ > 0) {
        // On its way: a request already being cancelled keeps its time.
        bool found = false;
        for (Pending& p : pending_) {
            if (!match(p)) continue;
            found = true;
            if (!p.cancelAt) p.cancelAt = clock_.Now() + cancelDelay_;
        }
        return found;
    }
    bool found = false;
    // Cancel one at a time: each cancellation completes (and removes) its
    // request.
    for (;;) {
        auto it = std::find_if(pending_.begin(), pending_.end(), match);
        if (it == pending_.end()) return found;
        found = true;
        DeliverCancel(*it);
    }
}

void EmulatedKernel::DeliverCancel(const Pending& request) {
    const RequestId id = request.id;
    std::shared_ptr<EmulatedDevice> device = request.device;
    device->Cancel(id, *this, clock_.Now());
    // A driver must complete what it is asked to cancel; if it did not,
    // complete it here so that nobody waits for ever.
    Complete(id, ERROR_OPERATION_ABORTED, 0);
}

BOOL EmulatedKernel::CancelIo(HANDLE handle) {
    std::unique_lock lock(mutex_);
    if (Faulted("CancelIo")) return FALSE_;
    if (Find(handle, Object::Kind::File) == nullptr) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE_;
    }
    const std::uintptr_t key = Key(handle);
    const std::thread::id self = std::this_thread::get_id();
    // CancelIo succeeds whether or not anything was outstanding.
    static_cast<void>(
        CancelWhere([key, self](const Pending& p) { return p.handle == key && p.thread == self; }, false));
    return TRUE_;
}

BOOL EmulatedKernel::CancelIoEx(HANDLE handle, OVERLAPPED* overlapped) {
    std::unique_lock lock(mutex_);
    if (Faulted("CancelIoEx")) return FALSE_;
    if (Find(handle, Object::Kind::File) == nullptr) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE_;
    }
    const std::uintptr_t key = Key(handle);
    const bool found = CancelWhere(
        [key, overlapped](const Pending& p) {
            return p.handle == key && (overlapped == nullptr || p.overlapped == overlapped);
        },
        false);
    if (!found) {
        SetError(ERROR_NOT_FOUND);
        return FALSE_;
    }
    return TRUE_;
}
}  // namespace platform::emulated
