// Changes to the store as the system reports them (inotify on the store's directory),
// so that the forwarder wakes when seld writes rather than at every interval. The
// forwarder acts on the info file alone: seld writes a record before the info file
// promises it, and replaces or rewrites the info file for every change of the ring. The
// looks at the store stay the truth; a missed or extra event costs at most a look.
//
// Where the system cannot report changes (no inotify, or the directory is not there
// yet), the forwarder looks at the store every interval instead.
#pragma once

struct FwdWatch {
  int fd;  // the inotify instance, or -1: none (looks at every interval)
  int wd;  // the watch on the store's directory, or -1 while there is none
};

// Starts watching; `w->fd` is -1 when the system has no inotify for us.
void fwd_watch_start(FwdWatch* w);

// Watches the store's directory, unless already watching. Whether changes will be
// reported (false: the store's directory is not there, or there is no inotify).
bool fwd_watch_arm(FwdWatch* w);

// Takes the events that have come. Whether one may concern the store's info file (a
// lost event or a watch that ended counts as one; the watch is armed again by the next
// fwd_watch_arm).
bool fwd_watch_take(FwdWatch* w);
