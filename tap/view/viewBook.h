// The full-screen book window: call list and phone book, browsed with keys.
#ifndef RINGWATCHER_VIEW_VIEWBOOK_H
#define RINGWATCHER_VIEW_VIEWBOOK_H

#define BOOK_HIDDEN 0
#define BOOK_PHONEBOOK 1
#define BOOK_CALLLIST 2
#define BOOK_ROWS 12

void showBook(void);
int getBookWindowStatus(void);
void setPage(int page);
void bookPageUp(void);
void bookPageDown(void);
void bookCursorUp(void);
void bookCursorDown(void);
void hideBook(void);

#endif
