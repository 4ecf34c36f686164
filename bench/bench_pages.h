// Pages the benchmarks feed the crawler, shared by the loopback server and the in-process runs
// so that both see the same bytes. Plain C++ so the server needs no Qt.
#pragma once

#include <cstddef>
#include <string>

namespace vidrake::bench {

// The address of tiny site number `k` on the loopback server; ends in ".com" so that the site
// pattern takes it.
std::string siteAddress(int port, int k);

// A page linking `sites` distinct site addresses, one anchor a line, and no movie link.
std::string startPage(int port, int sites);

// What site `k` serves: one movie link.
std::string sitePage(int k);

// About `bytes` of ordinary-looking HTML: prose with anchors to sites, movies and other pages,
// generated from a fixed seed so every run sees the same page.
std::string harvestPage(std::size_t bytes);

}  // namespace vidrake::bench
