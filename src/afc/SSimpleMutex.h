// The lock of a conversion handle.
#pragma once

#include <cstdint>
#include <mutex>

class SMutexBase {
public:
    virtual ~SMutexBase() = default;
    virtual bool Lock(uint32_t timeout) = 0;
    virtual bool Unlock() = 0;
};

// Waits as long as it takes: the timeout is accepted and ignored.
class SSimpleMutex final : public SMutexBase {
public:
    bool Lock(uint32_t /*timeout*/) override {
        m_mutex.lock();
        return true;
    }
    bool Unlock() override {
        m_mutex.unlock();
        return true;
    }

private:
    std::mutex m_mutex;
};

// Holds an SMutexBase locked for one scope.
class SLockGuard {
public:
    explicit SLockGuard(SMutexBase& mutex) : m_mutex(mutex) { m_mutex.Lock(0xFFFFFFFFu); }
    ~SLockGuard() { m_mutex.Unlock(); }
    SLockGuard(const SLockGuard&) = delete;
    SLockGuard& operator=(const SLockGuard&) = delete;

private:
    SMutexBase& m_mutex;
};
