#include "html_pages.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace qf::bench {

ServedPages serveHtmlPages(const std::string& folder, std::size_t count, qf::testing::LoopbackServer& server) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file() && e.path().extension() == ".html") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    if (files.size() > count) files.resize(count);
    ServedPages pages;
    if (files.size() < 3) {
        std::cerr << "too few pages in " << folder << "\n";
        return pages;
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::ifstream in(files[i], std::ios::binary);
        std::ostringstream body;
        body << in.rdbuf();
        pages.bytes += body.str().size();
        const std::string path = "/p" + std::to_string(i) + ".html";
        server.page(path, body.str());
        pages.urls.push_back(server.url(path));
        pages.bodies.push_back(body.str());
    }
    return pages;
}

}  // namespace qf::bench
