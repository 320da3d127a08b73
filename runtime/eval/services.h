// The evaluator's services to the layers below it: the series sorts and the lexer cannot call a
// function value themselves, so they keep hooks that the evaluator fills at start-up.
//
// `sort/compare` with a function calls it on two values and reads its answer (series.h says
// how); a `transcode/trace` callback gets its five event arguments and may move the lexer's
// input by setting its `input` argument, whose final value goes back to the lexer (lexer.h).
// Both calls go through the calling interface, so they check their arguments as any call does
// and carry break, return and the rest out as rt::Thrown.
#pragma once

namespace xol::eval_services {

// Installs the hooks (interpreter start-up); `release` takes them out again.
void install();
void release();

}  // namespace xol::eval_services
