#ifndef BACKOFF_H
#define BACKOFF_H

// Delays between connection attempts: the first after a failure waits
// firstMs, each further one twice as long, up to maxMs. A success starts anew.
class Backoff
{
public:
    static constexpr int firstMs = 1000;
    static constexpr int maxMs = 30000;

    int next();
    void reset() { m_failures = 0; }

private:
    int m_failures = 0;
};

#endif // BACKOFF_H
