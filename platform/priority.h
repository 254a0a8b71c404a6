#pragma once

namespace platform {

enum class ThreadPriority { BelowNormal, Normal, AboveNormal };

// Thread priorities are nice values of the calling kernel thread, counted from the process's
// own level (set by setProcessPriorityHigh), so a raised process stays raised. A thread is
// only ever lowered when it can be raised back again: without the privilege, an ordinary
// user can never take a nice value back down. Other failures are silent (raising needs
// privileges an ordinary user may not have).
void setCurrentThreadPriority(ThreadPriority priority);
int currentThreadId();
// High or normal priority class of the whole process: its own level, inherited by threads
// created later.
void setProcessPriorityHigh(bool high);

// The nice value of the calling thread.
int currentNiceValue();
// True when this process may take a thread's nice value down to niceValue.
bool canRaiseTo(int niceValue);

}  // namespace platform
