#pragma once
// What screen readers see of the URL list: the list control is a list whose
// items are its entries, each read as the entry's text, and a table of one
// column whose header ("URL(s)") each entry names as its column header.
//
// An entry's accessible object is made only when an assistive tool asks for
// that entry, and is kept until the entry leaves the list. A list of a million
// entries costs nothing until someone reads it, and then only for the entries
// read.

class QAccessibleEvent;
class QItemSelection;

namespace qf {

class UrlListView;

// Registers with Qt the maker of the list control's accessible object. Every
// list control calls it; after the first call it does nothing.
void installUrlListAccessibility();

// Tell a listening assistive tool that the list's current entry changed (it
// follows the keyboard focus only while the list has the focus), or that the
// selection changed. Free when no tool listens.
void announceCurrentEntry(UrlListView& view);
void announceSelection(UrlListView& view, const QItemSelection& selected, const QItemSelection& deselected);

// While set, the list's announcements go to this function instead of to Qt,
// as if a tool were listening; for watching them where the platform has no
// accessibility bridge. nullptr restores the normal way.
using UrlListAccessibilitySink = void (*)(QAccessibleEvent* event);
void setUrlListAccessibilitySink(UrlListAccessibilitySink sink);

}  // namespace qf
