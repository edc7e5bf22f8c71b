// The dashboard's text assets, compiled in from the files beside this header.
#pragma once

#include <string_view>

// The template holds one byte 0x01 and one byte 0x02: the places of the two blocks.
extern const std::string_view page_template;
extern const std::string_view theme_preload_block;
extern const std::string_view theme_bridge_block;
