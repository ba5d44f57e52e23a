// Messages for the queues of the worker threads (CMsgThread). A poster makes
// a message with new and hands it to a queue with PostMsg; from then on the
// queue owns it, and the worker deletes it once it has been handled. A message
// is therefore only ever touched by one thread at a time and needs no lock.
#pragma once

#include <cstdint>

// The base of every message. The type is the receiving worker's own code for
// the message; kReservedType belongs to the queue's inner messages and is
// refused from anyone else.
class CMsg {
public:
    static constexpr int32_t kReservedType = -1;

    explicit CMsg(int32_t type) : type_(type) {}
    virtual ~CMsg() = default;
    CMsg(const CMsg&) = delete;
    CMsg& operator=(const CMsg&) = delete;

    int32_t GetType() const { return type_; }

private:
    const int32_t type_;
};

// A message with one value, copied in at construction.
template <typename A>
class CVar1Msg : public CMsg {
public:
    CVar1Msg(int32_t type, const A& value1) : CMsg(type), var1(value1) {}

    A var1;
};

// A message with two values, copied in at construction.
template <typename A, typename B>
class CVar2Msg : public CMsg {
public:
    CVar2Msg(int32_t type, const A& value1, const B& value2) : CMsg(type), var1(value1), var2(value2) {}

    A var1;
    B var2;
};
