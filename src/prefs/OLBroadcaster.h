#pragma once

// The broadcasts the preferences window sends to every open document
// window. The application delegate implements them.
class OLBroadcaster
{
public:
    virtual ~OLBroadcaster() = default;

    // Every window reloads both style sets into its panes.
    virtual void updateAllFontAttributes() = 0;
    // Every editor shows or hides its line numbers as stored.
    virtual void updateAllLineNumbers() = 0;
    // Every console starts a new commit history from the stored one.
    virtual void clearAllHistory() = 0;
    // Every window restarts its interpreter from the stored command line.
    virtual void resetAllEnvironments() = 0;
};
