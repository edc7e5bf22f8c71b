// Writes the dashboard page: the template, with its two marker bytes replaced by the blocks.
#include "front/page_route.h"

#include "platform/platform.h"
#include "web/page_assets.h"

void emit_page()
{
    if (!platform_write_stdout(page_header_block))
        return;
    std::string_view rest = page_template;
    while (!rest.empty()) {
        std::size_t marker = rest.find_first_of("\x01\x02");
        if (!platform_write_stdout(rest.substr(0, marker)) || marker == std::string_view::npos)
            return;
        bool ok = platform_write_stdout(rest[marker] == '\x01' ? theme_preload_block
                                                               : theme_bridge_block);
        if (!ok)
            return;
        rest.remove_prefix(marker + 1);
    }
}
