// Photos carried in the contacts go through a private folder, so that they are made, named and
// entered in the address book exactly as the photos of a folder are.
#include <unistd.h>

#include "pictures/pictureMaker.h"
#include "writer/bookWriter.h"

namespace fs = std::filesystem;

namespace book
{

PictureRun makeContactPictures(const PhoneBook &contacts, const PictureOptions &options)
{
    std::string pattern = (fs::temp_directory_path() / "ringwatcher-photos-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw OutputError("no temporary folder for the contacts' photos");
    struct Removed {
        fs::path folder;
        ~Removed()
        {
            std::error_code ec;
            fs::remove_all(folder, ec);
        }
    } folder{pattern};
    for (const Contact &contact : contacts.contacts)
        if (!contact.photo.empty())
            saveAtomically(folder.folder / contact.imageUrl, contact.photo);
    PictureOptions fromContacts = options;
    fromContacts.sources = folder.folder;
    return makePictures(fromContacts);
}

} // namespace book
