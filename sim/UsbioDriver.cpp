#include "sim/UsbioDriver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/LittleEndian.h"

namespace sim {

using platform::GetLe16;
using platform::GetLe32;
using platform::PutLe16;
using platform::emulated::IoCompletion;
using platform::emulated::IoRequest;
using platform::emulated::Micros;
using platform::emulated::RequestId;
using platform::emulated::SubmitResult;

namespace {

constexpr std::uint32_t ERROR_OPERATION_ABORTED = 995;

SubmitResult Done(std::uint32_t bytes) { return SubmitResult{false, 0, bytes}; }
SubmitResult Failed(std::uint32_t status, std::uint32_t bytes = 0) { return SubmitResult{false, status, bytes}; }

// The configuration descriptor of a device with one interface and the two
// endpoints of the scale's protocol.
std::vector<std::uint8_t> ConfigurationDescriptor() {
    return {9, 2, 32,   0, 1,  1,    0, 0x80, 50,  // configuration, total length 32
            9, 4, 0,    0, 2,  0xFF, 0, 0,    0,   // interface 0, two endpoints
            7, 5, 0x81, 2, 16, 0,    0,            // endpoint 0x81 bulk IN
            7, 5, 0x02, 2, 16, 0,    0};           // endpoint 0x02 bulk OUT
}

}  // namespace

UsbioDriver::UsbioDriver(std::shared_ptr<DeviceModel> model) : model_(std::move(model)) { transfers_.reserve(16); }

void UsbioDriver::SetControlAnswer(std::uint32_t code, ControlAnswer answer) { answers_[code] = std::move(answer); }

void UsbioDriver::FailControl(std::uint32_t code, std::uint32_t status) {
    if (status == 0) failures_.erase(code);
    else failures_[code] = status;
}

void UsbioDriver::DelayControl(std::uint32_t code, Micros delay) {
    if (delay == 0) delays_.erase(code);
    else delays_[code] = delay;
}

std::string UsbioDriver::HardwareId() const {
    const auto d = model_->DeviceDescriptor();
    char id[32];
    std::snprintf(id, sizeof id, "vid_%04x&pid_%04x", GetLe16(&d[8]), GetLe16(&d[10]));
    return id;
}

std::uintptr_t UsbioDriver::OpenHandle() {
    const std::uintptr_t context = nextContext_++;
    handles_[context] = HandleState{};
    return context;
}

void UsbioDriver::CloseHandle(std::uintptr_t context) {
    std::erase_if(transfers_, [context](const Transfer& t) { return t.context == context; });
    if (auto it = handles_.find(context); it != handles_.end()) closeLog_.push_back(it->second.endpoint);
    handles_.erase(context);
}

SubmitResult UsbioDriver::Submit(RequestId id, const IoRequest& request, IoCompletion&, Micros now) {
    auto it = handles_.find(request.handleContext);
    if (it == handles_.end()) return Failed(DRIVER_INVALID_PARAMETER);
    if (Gone()) return Failed(DRIVER_DEVICE_REMOVED);
    if (request.kind == IoRequest::Kind::Control) return Control(id, request, it->second, now);
    return SubmitTransfer(id, request, it->second, now);
}

SubmitResult UsbioDriver::Control(RequestId id, const IoRequest& request, HandleState& handle, Time now) {
    const auto delay = delays_.find(request.code);
    if (delay == delays_.end()) return Answer(request, handle);
    // Answered into a scratch area, handed over as the request ends: until
    // then the caller's area holds what it held.
    const bool directIn = (request.code & 3) == 1;
    std::vector<std::uint8_t> reply(directIn ? 0 : request.outputSize);
    IoRequest scratch = request;
    if (!directIn) scratch.output = reply.data();
    const SubmitResult result = Answer(scratch, handle);
    reply.resize(std::min<std::size_t>(reply.size(), result.bytes));
    transfers_.push_back(Transfer{id, request.handleContext, false, 0, request.output, request.outputSize,
                                  now + delay->second, result.bytes, result.status, std::move(reply)});
    return SubmitResult{true, 0, 0};
}

SubmitResult UsbioDriver::Answer(const IoRequest& request, HandleState& handle) {
    // Method 1 (direct in): the driver reads the second buffer, never writes it.
    const bool directIn = (request.code & 3) == 1;
    ControlRecord record;
    record.code = request.code;
    if (request.inputSize > 0) record.input.assign(request.input, request.input + request.inputSize);
    record.outputSize = request.outputSize;
    if (directIn && request.outputSize > 0) record.directIn.assign(request.output, request.output + request.outputSize);
    requestLog_.push_back(record);
    if (request.code != IOCTL_USBIO_GET_DRIVER_INFO && request.code != IOCTL_USBIO_GET_DESCRIPTOR &&
        request.code != IOCTL_USBIO_SET_CONFIGURATION && request.code != IOCTL_USBIO_BIND_PIPE) {
        controlLog_.push_back(std::move(record));
        auto answer = answers_.find(request.code);
        if (answer == answers_.end()) {
            if (!directIn)
                for (std::uint32_t i = 0; i < request.outputSize; ++i)
                    request.output[i] = static_cast<std::uint8_t>(0xA0 + i);
            return Done(request.outputSize);
        }
        const std::uint32_t bytes =
            std::min<std::uint32_t>(request.outputSize, static_cast<std::uint32_t>(answer->second.output.size()));
        if (bytes > 0 && !directIn) std::memcpy(request.output, answer->second.output.data(), bytes);
        return SubmitResult{false, answer->second.status, bytes};
    }
    if (auto failure = failures_.find(request.code); failure != failures_.end()) return Failed(failure->second);

    switch (request.code) {
        case IOCTL_USBIO_GET_DRIVER_INFO: {
            if (request.outputSize < DRIVER_INFO_SIZE) return Failed(DRIVER_OUTPUT_BUFFER_TOO_SMALL);
            std::memset(request.output, 0, DRIVER_INFO_SIZE);
            PutLe16(request.output, model_->DriverInterfaceVersion());
            request.output[2] = 0x02;  // driver version 2.41, build 1
            request.output[3] = 0x29;
            request.output[4] = 0x01;
            return Done(DRIVER_INFO_SIZE);
        }
        case IOCTL_USBIO_GET_DESCRIPTOR: {
            if (request.inputSize != DESCRIPTOR_REQUEST_SIZE) return Failed(DRIVER_INVALID_PARAMETER);
            const std::uint8_t type = request.input[4];
            std::vector<std::uint8_t> descriptor;
            if (type == 1) {
                const auto d = model_->DeviceDescriptor();
                descriptor.assign(d.begin(), d.end());
            } else if (type == 2) {
                descriptor = ConfigurationDescriptor();
            } else if (type == 3 && request.input[5] == 0) {
                descriptor = {4, 3, 0x09, 0x04};  // the languages: English (United States)
            } else {
                return Failed(DRIVER_STALL_PID);
            }
            const std::uint32_t bytes =
                std::min<std::uint32_t>(request.outputSize, static_cast<std::uint32_t>(descriptor.size()));
            if (bytes > 0) std::memcpy(request.output, descriptor.data(), bytes);
            return Done(bytes);
        }
        case IOCTL_USBIO_SET_CONFIGURATION: {
            if (request.inputSize != CONFIGURATION_REQUEST_SIZE) return Failed(DRIVER_INVALID_PARAMETER);
            const std::uint16_t index = GetLe16(request.input);
            const std::uint16_t count = GetLe16(request.input + 2);
            InterfaceSetting settings[32];
            if (count > 32) return Failed(DRIVER_INVALID_PARAMETER);
            for (std::uint16_t i = 0; i < count; ++i) {
                const std::size_t at = 4 + 8u * i;
                settings[i].interfaceNumber = GetLe16(request.input + at);
                settings[i].alternateSetting = GetLe16(request.input + at + 2);
                settings[i].maximumTransferSize = GetLe32(request.input + at + 4);
            }
            const std::uint32_t status = model_->SetConfiguration(index, settings, count);
            if (status == 0) configured_ = true;
            return Failed(status);
        }
        case IOCTL_USBIO_BIND_PIPE: {
            if (request.inputSize != BIND_REQUEST_SIZE) return Failed(DRIVER_INVALID_PARAMETER);
            if (!configured_) return Failed(DRIVER_NOT_CONFIGURED);
            if (handle.bound) return Failed(DRIVER_PIPE_ALREADY_BOUND);
            const std::uint8_t endpoint = request.input[0];
            if (!model_->HasEndpoint(endpoint)) return Failed(DRIVER_PIPE_NOT_FOUND);
            handle.bound = true;
            handle.endpoint = endpoint;
            return Done(0);
        }
        default: return Failed(DRIVER_INVALID_PARAMETER);
    }
}

SubmitResult UsbioDriver::SubmitTransfer(RequestId id, const IoRequest& request, HandleState& handle, Time now) {
    if (!handle.bound) return Failed(DRIVER_NOT_BOUND);
    const bool in = (handle.endpoint & 0x80) != 0;
    const bool read = request.kind == IoRequest::Kind::Read;
    if (in != read) return Failed(DRIVER_INVALID_DIRECTION);

    Transfer transfer{
        id, request.handleContext, read, handle.endpoint, request.output, request.outputSize, std::nullopt, 0, 0, {}};
    if (read) {
        std::uint32_t bytes = 0;
        if (ServeRead(transfer, now, bytes)) return Done(bytes);
        transfers_.push_back(transfer);
        return SubmitResult{true, 0, 0};
    }
    const TransferOutcome outcome = model_->Write(handle.endpoint, request.input, request.inputSize, now);
    switch (outcome.kind) {
        case TransferOutcome::Kind::Done: return Done(outcome.bytes);
        case TransferOutcome::Kind::Failed: return Failed(outcome.status, outcome.bytes);
        case TransferOutcome::Kind::Pending:
            transfer.completeAt = outcome.completeAt;
            transfer.bytes = outcome.bytes;
            transfers_.push_back(transfer);
            return SubmitResult{true, 0, 0};
    }
    return Failed(DRIVER_INVALID_PARAMETER);
}

bool UsbioDriver::ServeRead(const Transfer& transfer, Time now, std::uint32_t& bytes) {
    Packet packet;
    if (!model_->TakePacket(transfer.endpoint, now, packet)) return false;
    bytes = std::min(transfer.size, packet.size);
    if (bytes > 0) std::memcpy(transfer.data, packet.bytes.data(), bytes);
    return true;
}

void UsbioDriver::Cancel(RequestId id, IoCompletion& completion, Micros now) {
    auto it = std::find_if(transfers_.begin(), transfers_.end(), [id](const Transfer& t) { return t.id == id; });
    if (it == transfers_.end()) {
        completion.Complete(id, ERROR_OPERATION_ABORTED, 0);
        return;
    }
    const Transfer transfer = *it;
    transfers_.erase(it);
    std::uint32_t bytes = 0;
    if (transfer.read) {
        model_->OnCancel(transfer.endpoint, now);
        if (!Gone() && ServeRead(transfer, now, bytes)) {
            completion.Complete(id, 0, bytes);
            return;
        }
    }
    completion.Complete(id, ERROR_OPERATION_ABORTED, 0);
}

std::optional<Micros> UsbioDriver::NextEventTime(Micros now) const {
    std::optional<Micros> next;
    bool waitingRead = false;
    for (const Transfer& t : transfers_) {
        if (t.read) waitingRead = true;
        if (!t.read && t.completeAt && (!next || *t.completeAt < *next)) next = t.completeAt;
    }
    if (waitingRead) {
        const std::optional<Time> packet = model_->NextEventTime(now);
        if (packet && (!next || *packet < *next)) next = packet;
    }
    if (next && *next < now) next = now;
    return next;
}

void UsbioDriver::Remove(IoCompletion& completion, Micros now) {
    removed_ = true;
    Advance(completion, now);
}

void UsbioDriver::Advance(IoCompletion& completion, Micros now) {
    // Finish what is due, oldest first, one at a time: completing a request
    // may make its owner submit the next one.
    for (std::size_t i = 0; i < transfers_.size();) {
        Transfer& t = transfers_[i];
        if (Gone()) {
            const RequestId id = t.id;
            transfers_.erase(transfers_.begin() + static_cast<std::ptrdiff_t>(i));
            completion.Complete(id, DRIVER_DEVICE_REMOVED, 0);
            continue;
        }
        std::uint32_t bytes = 0;
        bool done = false;
        if (t.read) {
            done = ServeRead(t, now, bytes);
        } else if (t.completeAt && *t.completeAt <= now) {
            done = true;
            bytes = t.bytes;
            if (!t.reply.empty()) std::memcpy(t.data, t.reply.data(), t.reply.size());
        }
        if (!done) {
            ++i;
            continue;
        }
        const RequestId id = t.id;
        const std::uint32_t status = t.status;
        transfers_.erase(transfers_.begin() + static_cast<std::ptrdiff_t>(i));
        completion.Complete(id, status, bytes);
    }
}

}  // namespace sim
