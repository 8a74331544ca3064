// The generator's one error type: a message that names what failed.
#pragma once

#include <stdexcept>

namespace content {

class GenerateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace content
