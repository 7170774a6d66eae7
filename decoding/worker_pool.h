// Worker threads that share out the pieces of one frame's decode: made once,
// on first need, one fewer than the machine's online cores (the calling
// thread is the other), with every signal blocked so that the process's
// signal handling stays with its own threads. Where threads cannot be made,
// every piece runs on the calling thread. A child process made by fork()
// makes its own on first need.
#pragma once

namespace ozmira {

using PieceTask = void (*)(void *context, int piece);

// Runs task(context, piece) for every piece from 0 to pieces - 1 on the
// calling thread and on as many workers as UseThreads allows, and returns
// when every piece is done. At most 65535 pieces; runs must not overlap.
void RunPieces(int pieces, PieceTask task, void *context);

// Sets how many threads a run may use, the calling thread included: at most
// `count` when it is 1 or more, as many as online cores when it is 0 (those
// online when the workers were made).
// Negative counts are the caller's to refuse. Makes the workers if the new
// count needs them. Returns the number now in use.
int UseThreads(int count);

}  // namespace ozmira
