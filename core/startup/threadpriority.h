#ifndef THREADPRIORITY_H
#define THREADPRIORITY_H

// Work a load does beside its first page, on threads of their own, is wanted
// only later: it takes the cores whenever they are free and leaves them to
// the first page's pictures while they are not. Linux sets the nice value
// per thread; Windows takes the thread one step below normal (the reading)
// or two (the writing).
enum class LoadWork {
    // Wanted when the first page is built (the whole reading of the
    // document): nice 10.
    AfterFirstPage = 10,
    // Wanted only at the end of the load (writing the pictures): nice 19,
    // behind the reading too.
    AtTheEnd = 19,
};

// Lowers the calling thread's priority for `work`.
void lowerPriorityFor(LoadWork work);

#endif // THREADPRIORITY_H
