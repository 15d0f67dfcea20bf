#pragma once

#include <QtGlobal>

#ifdef Q_OS_LINUX
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace kestrin::test {

#ifdef Q_OS_LINUX
// While it lives, this thread's file access obeys the permission bits, also as root (as CI
// runs): a folder of mode 0311 cannot be listed, one of 0555 not written.
class PermissionBitsApply {
public:
    PermissionBitsApply()
    {
        syscall(SYS_capget, &m_header, m_saved);
        __user_cap_data_struct strict[2] = {m_saved[0], m_saved[1]};
        strict[0].effective &= ~((1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH));
        syscall(SYS_capset, &m_header, strict);
    }
    ~PermissionBitsApply() { syscall(SYS_capset, &m_header, m_saved); }
    PermissionBitsApply(const PermissionBitsApply&) = delete;
    PermissionBitsApply& operator=(const PermissionBitsApply&) = delete;

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
};
#endif

} // namespace kestrin::test
