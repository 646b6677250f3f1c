// The command line of `ringwatcher-book fetch`.
#pragma once

#include <CLI/CLI.hpp>

#include "router/fetch.h"

namespace book
{

struct FetchCommand {
    CLI::App *command = nullptr;
    FetchOptions options;
    std::string phoneBook, areaCode;
    bool fit = false;
};

void addFetchCommand(CLI::App &app, FetchCommand &fetch);
int runFetchCommand(FetchCommand &fetch);

} // namespace book
