namespace galdera {}
