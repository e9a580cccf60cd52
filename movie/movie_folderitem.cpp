// The movie members of FolderItem, kept with the movie layer.
#include "framework/folderitem.h"
#include "movie/movie.h"
#include "movie/movie_reader.h"

std::shared_ptr<EditableMovie> FolderItem::CreateMovie() { return CreateMovieAt(AbsolutePath()); }

std::shared_ptr<Movie> FolderItem::OpenAsMovie() const { return Movie::Open(AbsolutePath()); }
