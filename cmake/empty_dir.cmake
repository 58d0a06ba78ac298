# cmake -DDIR=<folder> -P empty_dir.cmake: leaves <folder> existing and empty.
file(REMOVE_RECURSE "${DIR}")
file(MAKE_DIRECTORY "${DIR}")
