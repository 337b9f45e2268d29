#pragma once

// Implemented by whoever wants to hear that a background task has finished
// (the acquisition object, told by the save worker that wrote the last frame
// of a batch). Called on the worker's thread.
class ITaskObserver {
public:
    virtual ~ITaskObserver() = default;
    virtual void on_task_finished() = 0;
};
