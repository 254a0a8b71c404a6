#pragma once

namespace platform {

enum class ThreadPriority { BelowNormal, Normal, AboveNormal };

// Thread priorities as nice values of the kernel thread; failures are silent (raising needs
// privileges an ordinary user may not have).
void setThreadPriority(int tid, ThreadPriority priority);
void setCurrentThreadPriority(ThreadPriority priority);
int currentThreadId();
// High or normal priority class of the whole process.
void setProcessPriorityHigh(bool high);

}  // namespace platform
