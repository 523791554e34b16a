#pragma once

#include <memory>

#include "instance/instance_session_win32.h"

/// Queues a copied hand-over for secondaryMain, starting the worker that serves the queue
/// with the first one. The worker serves one at a time, in arrival order, once main runs,
/// and answers each second instance; without a worker the second start is answered -1.
void QueueForSecondaryMain(const std::shared_ptr<InstanceSession>& session, WorkerRecord record);
