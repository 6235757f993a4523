#include "Cancellation.h"

thread_local const std::atomic<bool>* cancellation::t_flag = nullptr;
