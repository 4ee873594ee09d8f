// The simulator's entry in the dosdevices folder: the link comN that makes its
// pseudo-terminal reachable as COM port N.
//
// Folder: $XDG_CONFIG_HOME/cmt2300-config/dosdevices ($HOME/.config when XDG_CONFIG_HOME
// is unset, empty or relative). Beside the link the simulator keeps a hidden marker
// ".comN.cmt2300-sim" holding its process id and the link's target, so that a link left
// behind by a simulator that died can be told from a link the user made: only the
// former is ever replaced or removed.
#pragma once

#include <string>

// The dosdevices folder for the current environment; empty when no home is known.
std::string DosDevicesDir();

class ComLink {
public:
    ComLink() = default;
    ComLink(const ComLink&) = delete;
    ComLink& operator=(const ComLink&) = delete;
    ~ComLink() { Remove(); }

    // Creates the folder when missing and the link comN -> target. Fails, touching
    // nothing, when comN exists and is not a leftover of a simulator that has ended.
    // `note` receives a line worth telling the user even on success (a replaced leftover).
    bool Create(int com, const std::string& target, std::string& error, std::string& note);

    // Removes the link if it still names this simulator's target, and the marker if it
    // is this process's. Safe to call more than once.
    void Remove();

    const std::string& Path() const { return linkPath_; }

private:
    std::string linkPath_;
    std::string markerPath_;
    std::string target_;
    bool created_ = false;
};
