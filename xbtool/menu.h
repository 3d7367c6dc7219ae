// The menu xbtool disk writes beside the songs: an XB program LOAD, which
// Extended BASIC runs by itself when it starts with the disk in drive 1. It
// lists the songs, each with its key (1 to 9, then A to Z), its title and
// its length, and runs the one whose key is pressed; each song made by
// xbtool ends by running DSK1.LOAD again. The songs' names, titles and
// lengths are DATA of the menu, so that a later run keeps them.
#ifndef XBTOOL_MENU_H
#define XBTOOL_MENU_H

#include <string>
#include <vector>

#include "xb/tokenize.h"

// The menu's program name.
extern const char MENU_NAME[];
// Keys 1 to 9 and A to Z: the most songs a menu lists.
constexpr size_t MENU_MAX_SONGS = 35;
// The screen's width in Extended BASIC.
constexpr size_t MENU_WIDTH = 28;

struct MenuSong {
    std::string name;    // the program's name on the disk
    std::string title;   // as shown
    std::string length;  // "2:23", or empty when not known
};

// The listing of the menu of songs (at most MENU_MAX_SONGS of them).
std::string menu_listing(const std::vector<MenuSong> &songs);

// Whether lines are a menu xbtool wrote; if so songs holds its entries.
bool menu_read(const std::vector<XbLine> &lines, std::vector<MenuSong> &songs);

// The line a song ends with to return to the menu, numbered number.
std::string menu_return_line(int number);

// A song's length as the menu shows it: minutes and seconds ("2:23").
std::string menu_length(double seconds);

// A title as the menu shows it: printable characters, cut to leave room for
// the key and the length on one line of the screen.
std::string menu_title(const std::string &title);

#endif
