#ifndef PROPERTYFRAMES_H
#define PROPERTYFRAMES_H

class FrameUpdater;
class Item;

// The editor side of items: a program that edits items registers the frames
// here, and each item then makes its kind's frame when its properties are
// first shown. The running panel registers nothing and makes none.
void registerPropertyFrames();

// The frame of `item`'s kind, hidden, without parent widget; null for an
// item of no kind.
FrameUpdater *createPropertyFrame(Item *item);

#endif // PROPERTYFRAMES_H
