#include "dms/pictures/DMPictureMethods.h"

#include "dms/pictures/DMPictureCoding.h"

#define DMPICTURE_MESSAGES(Method)                                        \
    DMPICTURE_DEFINE_CODING(DMPicture_##Method##_InputType, WriteMessage) \
    DMPICTURE_DEFINE_CODING(DMPicture_##Method##_OutputType, WriteMessage)

DMPICTURE_MESSAGES(GetProperties)
DMPICTURE_MESSAGES(SetProperties)
DMPICTURE_MESSAGES(ShareObjects)
DMPICTURE_MESSAGES(GetShareInformation)
DMPICTURE_MESSAGES(UploadBegin)
DMPICTURE_MESSAGES(UploadEnd)
DMPICTURE_MESSAGES(UploadCancel)
DMPICTURE_MESSAGES(NotifyZym)
DMPICTURE_MESSAGES(CreateFolder)
DMPICTURE_MESSAGES(DeleteObjects)
DMPICTURE_MESSAGES(CopyObjects)
DMPICTURE_MESSAGES(MoveObjects)
DMPICTURE_MESSAGES(EditObjects)
DMPICTURE_MESSAGES(SearchObjects)
DMPICTURE_MESSAGES(GetChildren)
